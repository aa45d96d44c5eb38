// The words the terminal front writes and reads: progress lines, prompts
// with their default in capitals ("[y/N]"), answers, and the caption of a
// dialog template. Pure functions, apart from the terminal itself.
#pragma once

#include <set>
#include <string>
#include <string_view>

#include "ui/front.h"

namespace vex::ui {

// The status text fitted to columns - 1 bytes, behind a bar and the
// percentage when the text holds one ("[#####.....]  42% Frame 3 (42%)").
std::string progress_line(std::string_view text, int columns);
// "TITLE: TEXT", or TEXT alone without a title.
std::string message_text(const Box &box);
// "TITLE: TEXT [y/N]": one letter per button, the default in capitals.
std::string question_prompt(const Box &box);
const char *reply_word(Reply r);
// The button a typed answer names ("y", "Yes", "n", ...); the default for an
// empty answer; Reply::none for anything else.
Reply parse_reply(std::string_view line, const Box &box);
// The title property of the object "VEXDialog" in a GtkBuilder text; false
// when the text holds no such object.
bool template_title(std::string_view xml, std::string &title);
// The numbers N of the objects "control-N" a template names.
std::set<int> template_controls(std::string_view xml);

} // namespace vex::ui

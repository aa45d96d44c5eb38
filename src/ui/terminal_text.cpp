#include "ui/terminal_text.h"

#include <algorithm>
#include <cctype>

#include "ui/text_line.h"

namespace vex::ui {

namespace {

constexpr int kBarCells = 20;

char reply_letter(Reply r) {
  switch (r) {
  case Reply::yes: return 'y';
  case Reply::no: return 'n';
  case Reply::cancel: return 'c';
  case Reply::ok: return 'o';
  case Reply::none: break;
  }
  return '?';
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char &c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

// XML character references of the five predefined entities and &#N;.
std::string unescape_xml(std::string_view s) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < s.size();) {
    bool done = false;
    for (const auto &[name, c] : kNamed)
      if (s.substr(i, name.size()) == name) {
        out += c;
        i += name.size();
        done = true;
        break;
      }
    if (!done)
      out += s[i++];
  }
  return out;
}

} // namespace

std::string progress_line(std::string_view text, int columns) {
  const size_t width = static_cast<size_t>(std::max(columns, 12) - 1);
  const int percent = percent_in(text);
  std::string line;
  if (percent >= 0) {
    const int filled = percent * kBarCells / 100;
    line = "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kBarCells - filled), '.') +
           "] ";
    const std::string number = std::to_string(percent) + "% ";
    line += std::string(5 - number.size(), ' ') + number;
  }
  line += text;
  return std::string(fit_utf8(line, width));
}

std::string message_text(const Box &box) { return box.title.empty() ? box.text : box.title + ": " + box.text; }

std::string question_prompt(const Box &box) {
  std::string letters;
  for (int i = 0; i < box.count; ++i) {
    char c = reply_letter(box.buttons[i]);
    if (i == box.default_index)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (i > 0)
      letters += '/';
    letters += c;
  }
  return message_text(box) + " [" + letters + "]";
}

const char *reply_word(Reply r) {
  switch (r) {
  case Reply::yes: return "Yes";
  case Reply::no: return "No";
  case Reply::cancel: return "Cancel";
  case Reply::ok: return "OK";
  case Reply::none: break;
  }
  return "";
}

Reply parse_reply(std::string_view line, const Box &box) {
  const std::string answer = lower(trimmed(line));
  if (answer.empty())
    return box.buttons[box.default_index];
  for (int i = 0; i < box.count; ++i) {
    const Reply r = box.buttons[i];
    if (answer == std::string(1, reply_letter(r)) || answer == lower(reply_word(r)))
      return r;
  }
  return Reply::none;
}

bool template_title(std::string_view xml, std::string &title) {
  title.clear();
  size_t at = xml.find("id=\"VEXDialog\"");
  if (at == std::string_view::npos)
    at = xml.find("id='VEXDialog'");
  if (at == std::string_view::npos)
    return false;
  // The first title property after the object's start, before any child
  // object (whose own title would not be the dialog's).
  const size_t child = xml.find("<child", at);
  const size_t prop = xml.find("name=\"title\"", at);
  if (prop == std::string_view::npos || (child != std::string_view::npos && prop > child))
    return true;
  const size_t open_end = xml.find('>', prop);
  const size_t close = xml.find("</property>", prop);
  if (open_end == std::string_view::npos || close == std::string_view::npos || close < open_end)
    return true;
  title = unescape_xml(xml.substr(open_end + 1, close - open_end - 1));
  return true;
}

std::set<int> template_controls(std::string_view xml) {
  std::set<int> found;
  for (const std::string_view key : {std::string_view("id=\"control-"), std::string_view("id='control-")}) {
    for (size_t at = xml.find(key); at != std::string_view::npos; at = xml.find(key, at + 1)) {
      size_t p = at + key.size();
      long n = 0;
      const size_t digits = p;
      while (p < xml.size() && std::isdigit(static_cast<unsigned char>(xml[p])) && n <= 0xFFFF)
        n = n * 10 + (xml[p++] - '0');
      if (p > digits && p < xml.size() && xml[p] == key[3] && n <= 0xFFFF)
        found.insert(static_cast<int>(n));
    }
  }
  return found;
}

} // namespace vex::ui

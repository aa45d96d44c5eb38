#include "ui/text_line.h"

#include <algorithm>
#include <cctype>

namespace vex::ui {

namespace {

constexpr bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

constexpr size_t kQuestionBytes = 99; // a buffer of 100 with its zero
constexpr std::string_view kBefore = "File ";
constexpr std::string_view kAfter = " exists, overwrite?";
constexpr std::string_view kEllipsis = "...";

// Longest suffix of text that fits in max_bytes and starts on a character.
std::string_view fit_utf8_tail(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes)
    return text;
  size_t start = text.size() - max_bytes;
  while (start < text.size() && is_continuation(text[start]))
    ++start;
  return text.substr(start);
}

} // namespace

std::string_view fit_utf8(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes)
    return text;
  size_t end = max_bytes;
  while (end > 0 && is_continuation(text[end]))
    --end;
  return text.substr(0, end);
}

std::string overwrite_question(std::string_view name) {
  const size_t room = kQuestionBytes - kBefore.size() - kAfter.size();
  std::string shown;
  if (name.size() <= room) {
    shown = name;
  } else {
    // The end of a path (the file's own name) tells more than its start.
    const size_t left = room - kEllipsis.size();
    const size_t head = left / 3;
    shown = std::string(fit_utf8(name, head)) + std::string(kEllipsis) +
            std::string(fit_utf8_tail(name, left - head));
  }
  return std::string(kBefore) + shown + std::string(kAfter);
}

int percent_in(std::string_view text) {
  int found = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i == 0)
      continue;
    size_t d = i; // walk back over "12" or "12.5"
    while (d > 0 && (std::isdigit(static_cast<unsigned char>(text[d - 1])) || text[d - 1] == '.'))
      --d;
    while (d < i && text[d] == '.')
      ++d;
    if (d == i || !std::isdigit(static_cast<unsigned char>(text[d])))
      continue;
    long whole = 0;
    for (size_t k = d; k < i && text[k] != '.'; ++k)
      whole = std::min(1000L, whole * 10 + (text[k] - '0'));
    found = static_cast<int>(std::min(100L, whole));
  }
  return found;
}

} // namespace vex::ui

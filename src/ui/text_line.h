// Fixed-size text lines of the user interface and the small text rules
// around them. Every line is a zero-terminated buffer of a fixed size; a
// longer text is cut at a UTF-8 character boundary so that the buffer never
// overruns and never ends inside a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vex::ui {

// Longest prefix of text that fits in max_bytes without splitting a UTF-8
// character.
std::string_view fit_utf8(std::string_view text, size_t max_bytes);

template <size_t N> class Line {
  static_assert(N >= 2);

public:
  Line() { text_[0] = '\0'; }
  explicit Line(std::string_view t) { set(t); }
  void set(std::string_view t) { place(0, t); }
  void append(std::string_view t) { place(length(), t); }
  const char *c_str() const { return text_; }
  std::string str() const { return text_; }
  size_t length() const { return std::char_traits<char>::length(text_); }
  static constexpr size_t capacity = N - 1; // bytes of text

private:
  void place(size_t at, std::string_view t) {
    const std::string_view fit = fit_utf8(t, capacity - at);
    fit.copy(text_ + at, fit.size());
    text_[at + fit.size()] = '\0';
  }
  char text_[N];
};

// The status and information lines hold 96 bytes with the terminating zero.
using StatusLine = Line<96>;

// "File NAME exists, overwrite?" in at most 99 bytes: a long name loses its
// middle, shown as "...", so the question keeps its start and its end.
std::string overwrite_question(std::string_view name);

// The percentage written in a progress text ("Frame 3 of 7 (42%)"), the last
// number directly followed by '%', clamped to 0..100; -1 when there is none.
int percent_in(std::string_view text);

} // namespace vex::ui

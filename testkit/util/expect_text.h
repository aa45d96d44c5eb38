// Checks on what a tool or a child process printed: every expected piece is
// there, no unwanted one is; a failure names the piece and shows the text.
// For tests only (it reports through GoogleTest).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>

namespace vex::testkit {

inline void expect_contains(const std::string &text, std::initializer_list<std::string> parts) {
  for (const std::string &p : parts)
    EXPECT_NE(text.find(p), std::string::npos) << "missing: " << p << "\nin:\n" << text;
}

inline void expect_lacks(const std::string &text, std::initializer_list<std::string> parts) {
  for (const std::string &p : parts)
    EXPECT_EQ(text.find(p), std::string::npos) << "unexpected: " << p << "\nin:\n" << text;
}

// How many times part stands in text.
inline size_t times_in(const std::string &text, const std::string &part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

} // namespace vex::testkit

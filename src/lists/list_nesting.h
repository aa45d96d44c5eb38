// Bounds on lists inside lists, shared by the graphics and the sound source.
//
// A list entry may itself be a list (or a series of lists), so opening a
// source can open sources inside it to any depth. Per thread, the lists
// being opened form a stack: a list whose file is already on it names
// itself (directly or through others), which would recurse without end;
// more than kMaxListDepth lists deep is refused as well; and all the
// entries walked while one outermost source opens count against
// kMaxListEntries, so a few lists of many lines cannot multiply into an
// open that never ends. Once one of these trips, every open under the same
// outermost one fails at once and the outermost reports the reason.
#pragma once

#include <cstdint>
#include <string>

namespace vex::lists {

inline constexpr uint32_t kMaxListDepth = 8;
inline constexpr uint32_t kMaxListEntries = 100000;

class ListNesting {
public:
  // Enters the list file `name`; false (and the problem recorded) when it
  // is already being opened, when the nesting is too deep, or when an
  // earlier problem stands.
  bool enter(const char *name);
  // Counts one entry against the budget of the outermost open; false when
  // it is spent.
  bool count_entry();
  // Entries counted so far under the outermost open.
  uint32_t counted() const;
  // Counts `n` entries more: what a nested open walked, for an entry that
  // an earlier open serves again. False when the budget is spent.
  bool count_again(uint32_t n);
  // The text of the problem that stopped the walk, "" when none.
  std::string problem() const;
  bool outermost() const;

  ListNesting() = default;
  ListNesting(const ListNesting &) = delete;
  ListNesting &operator=(const ListNesting &) = delete;
  ~ListNesting();

private:
  bool entered_ = false;
};

} // namespace vex::lists

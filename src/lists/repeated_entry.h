// The source of the entry a list walk opened last, kept while the next
// entries repeat it (/L, or consecutive lines with the same name and
// range): a repeat adds what the first open found without opening the
// file again, and the entries that open walked (a nested list's) count
// against the budget of the outermost open each time.
#pragma once

#include <cstdint>
#include <cstring>

#include "lists/list_nesting.h"
#include "lists/list_reader.h"

namespace vex::lists {

template <class SourcePtr> class RepeatedEntry {
public:
  // Makes get() the source of `entry`: `open(entry)` unless the entry
  // repeats the last one (null when that open failed). False when a repeat
  // spends the budget.
  template <class Open> bool take(ListNesting &nesting, const ListEntry &entry, Open open) {
    if (source_ && same_as_opened(entry))
      return nesting.count_again(nested_);
    const uint32_t before = nesting.counted();
    source_.reset();
    source_.reset(open(entry));
    opened_ = entry;
    nested_ = nesting.counted() - before;
    return true;
  }
  auto *get() const { return source_.get(); }

private:
  bool same_as_opened(const ListEntry &e) const {
    return e.first == opened_.first && e.last == opened_.last && std::strcmp(e.name, opened_.name) == 0;
  }

  SourcePtr source_;
  ListEntry opened_;
  uint32_t nested_ = 0; // the entries the open of `opened_` walked
};

} // namespace vex::lists

// The sorted list of the Huffman table construction: node references in
// descending weight. A new entry goes after every entry of equal or greater
// weight, found by the binary search below. When the entries from the
// insertion point to the end all weigh the same, the first of them moves to
// the end instead of the run shifting up (this decides which of several
// equal weights pair first). The two lightest entries leave from the end.
//
// Storage: lightest first, so that leaving from the end and the shortcut
// cost nothing, and an insertion shifts whichever side of the insertion
// point is shorter (internal nodes are heavy and land near the heavy end).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace vex::huff {

struct WeightedRef {
  uint32_t weight, ref;
};

class WeightList {
public:
  // capacity: the most entries the list will ever hold at once.
  explicit WeightList(size_t capacity) : slots_(2 * capacity + 2), head_(capacity + 1) {}

  size_t size() const { return n_; }
  // Entry i in list order: 0 is the heaviest.
  const WeightedRef &at(size_t i) const { return slots_[head_ + n_ - 1 - i]; }

  void insert(WeightedRef e) {
    const size_t p = position(e.weight);
    make_room();
    if (p == n_) {
      slots_[--head_] = e;
    } else if (at(p).weight == at(n_ - 1).weight) {
      const size_t s = slot(p);
      slots_[--head_] = slots_[s];
      slots_[s] = e;
    } else if (n_ - p <= p) {
      // The lighter entries (list p .. n - 1) move towards the front.
      std::memmove(&slots_[head_ - 1], &slots_[head_], (n_ - p) * sizeof(WeightedRef));
      --head_;
      slots_[head_ + n_ - p] = e;
    } else {
      // The heavier entries (list 0 .. p - 1) move towards the back.
      const size_t s = head_ + n_ - p;
      std::memmove(&slots_[s + 1], &slots_[s], p * sizeof(WeightedRef));
      slots_[s] = e;
    }
    ++n_;
  }

  WeightedRef pop_last() {
    --n_;
    return slots_[head_++];
  }

private:
  size_t slot(size_t i) const { return head_ + n_ - 1 - i; }

  // The insertion point: after every entry of equal or greater weight.
  // The code was first built on a binary search with low = 0, high = n:
  // mid = (low + high) / 2; a lighter entry at mid sets high = mid - 1,
  // else low = mid + 1, while low <= high; the position is mid when mid = n
  // or the entry there is lighter, else mid + 1. On a list in descending
  // order that is always the count of entries of weight >= w, counted here
  // as n less the entries lighter than w, found without branches over the
  // lightest-first storage (the list test checks it against that search).
  size_t position(uint32_t w) const {
    if (n_ == 0)
      return 0;
    const WeightedRef *base = &slots_[head_];
    size_t len = n_;
    while (len > 1) {
      const size_t half = len / 2;
      base += half & (size_t{0} - static_cast<size_t>(base[half - 1].weight < w)); // no branch to mispredict
      len -= half;
    }
    const size_t lighter = static_cast<size_t>(base - &slots_[head_]) + (base->weight < w ? 1 : 0);
    return n_ - lighter;
  }

  // One free slot on each side of the entries: re-centred when either side
  // runs out (the slots hold twice the capacity).
  void make_room() {
    if (head_ > 0 && head_ + n_ < slots_.size())
      return;
    const size_t centre = (slots_.size() - n_) / 2;
    std::memmove(&slots_[centre], &slots_[head_], n_ * sizeof(WeightedRef));
    head_ = centre;
  }

  std::vector<WeightedRef> slots_;
  size_t head_;
  size_t n_ = 0;
};

} // namespace vex::huff

// Colour reduction: the buckets of a histogram become at most `target`
// colours by splitting boxes of buckets.
//
// The colour list holds the non-empty buckets in ascending order; a box is
// a stretch of it. Box 0 starts as the whole list. Each step splits the box
// whose best split gains most (its error less its two parts' errors; the
// lowest box number on ties; a gain of 0 everywhere ends the reduction):
// the inner part stays in the box, the outer part becomes the next box.
//
// A box's candidate splits are numbered k = 0..511: with t = k mod 64, an
// axis is bounded by t unless its bit of k is set (red bit 6, green bit 7,
// blue bit 8), in which case it is bounded by 63; the inner part is the
// buckets within every bound. The winner has the strictly smallest sum of
// the two parts' errors (the first on ties); the box's stretch of the list
// is then reordered, inner buckets first, by a front/back swapping walk,
// and that order decides later ties. A box of one or two buckets splits
// into its first and its second bucket, each as its own expanded colour.
//
// Means and errors, with w the bucket counts and c the 6-bit components:
// mean8 = 4 x sum(c w) / sum(w) per channel (integer division), and
// error = sum of w x (30 dr^2 + 58 dg^2 + 12 db^2) with d = c - mean8 / 4,
// all in unsigned 64-bit arithmetic (sums of errors and gains wrap modulo
// 2^64 exactly as they would in a 64-bit accumulator).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "palette/palette_messages.h"
#include "palette/palette_tables.h"

namespace vex::palette {

struct Reduction {
  std::vector<Rgb> colours; // the box colours in box order; empty for an empty histogram
  bool cancelled = false;   // the callback stopped the splitting; the colours so far are kept
};

// Buckets of the `reserved` colours count as empty. target below 2 gives
// the one mean colour. Before each split the callback (when set) hears
// "Reducing the number of colors (n%)..." with n = 100 x splits / target +
// 1, level 1 the first time.
Reduction reduce_colours(std::span<const uint32_t, kBucketCount> histogram, std::span<const Rgb> reserved,
                         int32_t target, const MessageFn &talk);

} // namespace vex::palette

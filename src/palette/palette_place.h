// Palette placement: which usable entry each new colour goes into, so that
// the entries the previous frame shows most change least.
//
// D(j, i) is the distance between new colour j and the current colour of
// entry i: round(100 x Euclidean distance of the 8-bit components), at
// most 32768. Putting j into i costs usage(i) x D(j, i) (64-bit). |j - i|
// compares the colour's number with the entry's palette index.
//
// Two candidate palettes are filled, one colour per step, each with its
// own free colours and entries:
//   A, hardest colour first: each free colour's cheapest free entry (ties:
//     larger usage, smaller D, smaller |j - i|, lower entry); the colour
//     whose cheapest cost is largest (ties: smaller D, smaller |j - i|,
//     lower colour) is picked. Among the other free colours, one whose
//     cheapest cost is the same and whose entry has a larger D, or the same
//     D and a smaller |j - i| (each compared with the best so far, starting
//     from the pick), takes the picked colour into its entry instead.
//   B, hardest entry first: each free entry's cheapest free colour (ties:
//     smaller D, smaller |j - i|, lower colour); the entry whose cheapest
//     cost is largest (ties: larger usage, smaller D, smaller |j - i|,
//     lower entry) picks its colour. With that colour left out, every free
//     entry's cheapest colour is found again; an entry whose (cost, usage,
//     D, |j - i|) is larger, larger, larger, smaller in that order than the
//     best so far (starting from the pick) takes the picked colour instead.
//     An entry that has no other colour left is passed over.
// The candidate with the smaller sum of usage(i) x D(old colour, new
// colour) over the usable entries wins; B on a tie.
#pragma once

#include <cstdint>
#include <span>

#include "palette/palette_histogram.h"
#include "palette/palette_messages.h"
#include "palette/palette_tables.h"

namespace vex::palette {

// round(100 x Euclidean distance), capped at 32768.
uint16_t placement_distance(Rgb a, Rgb b);

enum class Placement {
  kNone,    // nothing to place (no colours, or no usable entry)
  kA,       // candidate A won
  kB,       // candidate B won
  kInOrder, // more than 256 colours or entries: copied in order from the first usable entry
};

// Places `colours` (at most `count` are placed) into the usable entries
// first .. first + count - 1 of `palette`, whose other entries are left as
// they are. When both the colour count and `count` are at most 256 the
// callback (when set) hears "Minimizing palette changes..." at level 1
// first (also when there is no entry to place into); its answer does not
// stop the placement. Colours copied in order stop at the end of the
// palette.
Placement place_colours(std::span<const Rgb> colours, Palette palette, uint32_t first, int32_t count,
                        const UsageCounts &usage, const MessageFn &talk);

} // namespace vex::palette

#include "testkit/formats/korvane/korvane_video_coder.h"

#include <algorithm>
#include <cstring>

#include "formats/korvane/korvane_format.h"

namespace vex::testkit::korvane {

namespace {

using formats::korvane::kFull;
using formats::korvane::kMono;
using formats::korvane::kSolid;
using formats::korvane::kVoid;
// Run lengths the type symbol can say, by index.
constexpr const auto &kRuns = formats::korvane::kRunLength;

using Block = std::array<uint8_t, 16>;

struct Kind {
  uint32_t type = kVoid;
  uint32_t extra = 0; // the colour of a solid block
  bool operator==(const Kind &) const = default;
};

Block get_block(const uint8_t *p, uint32_t width, uint32_t bx, uint32_t by) {
  Block b;
  for (uint32_t r = 0; r < 4; ++r)
    std::memcpy(&b[4 * r], p + (4 * by + r) * size_t{width} + 4 * bx, 4);
  return b;
}

Kind classify(const Block &b, const Block &prev, bool key) {
  if (!key && b == prev)
    return {kVoid, 0};
  uint8_t a = b[0], c = b[0];
  bool two = true;
  for (uint8_t v : b) {
    if (v == a || v == c)
      continue;
    if (a == c) {
      c = v;
      continue;
    }
    two = false;
    break;
  }
  if (a == c)
    return {kSolid, a};
  return {two ? kMono : kFull, 0};
}

uint16_t pair(uint8_t lo, uint8_t hi) { return static_cast<uint16_t>(lo | hi << 8); }

void put_row(std::vector<VideoOp> &ops, const uint8_t *row) {
  ops.push_back({kTreeFull, pair(row[2], row[3])}); // first value: pixels 2 and 3
  ops.push_back({kTreeFull, pair(row[0], row[1])});
}

void code_block(std::vector<VideoOp> &ops, const Block &b, uint32_t type, bool version4, BlockCounts &counts) {
  if (type == kMono) {
    const uint8_t lo = *std::min_element(b.begin(), b.end());
    const uint8_t hi = *std::max_element(b.begin(), b.end());
    uint16_t map = 0;
    for (uint32_t k = 0; k < 16; ++k)
      if (b[k] == hi)
        map = static_cast<uint16_t>(map | 1u << k);
    ops.push_back({kTreeMonoColours, pair(lo, hi)});
    ops.push_back({kTreeMonoMap, map});
    ++counts.mono;
    return;
  }
  const bool rows_paired = std::equal(&b[0], &b[4], &b[4]) && std::equal(&b[8], &b[12], &b[12]);
  if (version4) {
    const bool pixels_paired = rows_paired && b[0] == b[1] && b[2] == b[3] && b[8] == b[9] && b[10] == b[11];
    if (pixels_paired) {
      ops.push_back({kRawBit, 1});
      ops.push_back({kTreeFull, pair(b[0], b[2])});
      ops.push_back({kTreeFull, pair(b[8], b[10])});
      ++counts.doubled;
      return;
    }
    ops.push_back({kRawBit, 0});
    ops.push_back({kRawBit, rows_paired ? uint16_t{1} : uint16_t{0}});
    if (rows_paired) {
      put_row(ops, &b[0]);
      put_row(ops, &b[8]);
      ++counts.half;
      return;
    }
  }
  for (uint32_t r = 0; r < 4; ++r)
    put_row(ops, &b[4 * r]);
  ++counts.full;
}

// Splits a run into the lengths the table has, longest first.
void put_runs(std::vector<VideoOp> &ops, Kind kind, uint32_t n, BlockCounts &counts) {
  while (n > 0) {
    uint32_t i = 63;
    while (kRuns[i] > n)
      --i;
    ops.push_back({kTreeType, static_cast<uint16_t>(kind.type | i << 2 | kind.extra << 8)});
    ++counts.runs;
    if (i >= 59)
      ++counts.long_runs;
    n -= kRuns[i];
  }
}

} // namespace

std::vector<VideoOp> code_picture(const uint8_t *pixels, const uint8_t *before, uint32_t width, uint32_t height,
                                  bool key, bool version4, BlockCounts &counts) {
  const uint32_t bw = width / 4, bh = height / 4, total = bw * bh;
  std::vector<Block> blocks(total);
  std::vector<Kind> kinds(total);
  for (uint32_t i = 0; i < total; ++i) {
    blocks[i] = get_block(pixels, width, i % bw, i / bw);
    kinds[i] = classify(blocks[i], get_block(before, width, i % bw, i / bw), key);
  }
  std::vector<VideoOp> ops;
  uint32_t i = 0;
  while (i < total) {
    uint32_t j = i + 1;
    while (j < total && kinds[j] == kinds[i])
      ++j;
    // A run symbol is followed by the contents of the blocks it covers.
    uint32_t at = i;
    for (uint32_t left = j - i; left > 0;) {
      uint32_t r = 63;
      while (kRuns[r] > left)
        --r;
      put_runs(ops, kinds[i], kRuns[r], counts);
      for (uint32_t n = 0; n < kRuns[r]; ++n, ++at) {
        if (kinds[i].type == kVoid)
          ++counts.voids;
        else if (kinds[i].type == kSolid)
          ++counts.solid;
        else
          code_block(ops, blocks[at], kinds[i].type, version4, counts);
      }
      left -= kRuns[r];
    }
    i = j;
  }
  return ops;
}

} // namespace vex::testkit::korvane

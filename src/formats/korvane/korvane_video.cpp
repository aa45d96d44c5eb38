#include "formats/korvane/korvane_video.h"

#include <bit>
#include <cstring>

#include "formats/korvane/korvane.h"

namespace vex::formats::korvane {

namespace {

static_assert(std::endian::native == std::endian::little, "rows are assembled as little-endian words");

// Byte j is 0xFF when bit j of the nibble is set: one mono row per entry.
constexpr std::array<uint32_t, 16> kNibbleMask = [] {
  std::array<uint32_t, 16> m{};
  for (uint32_t n = 0; n < 16; ++n)
    for (uint32_t j = 0; j < 4; ++j)
      if (n >> j & 1)
        m[n] |= 0xFFu << (8 * j);
  return m;
}();

constexpr uint32_t spread(uint32_t byte) { return byte * 0x01010101u; }
// Value bytes lo, hi doubled across: lo lo hi hi.
constexpr uint32_t doubled_row(uint32_t v) { return (v & 0xFF) * 0x0101u | (v >> 8 & 0xFF) * 0x01010000u; }

// One instantiation per vertical mode, so that the row stores carry no
// tests: stored rows land every other destination row with a vertical
// mode, and a doubled file writes each of them twice. A dry decoder reads
// every bit the same way and writes nothing (it has no destination).
template <bool kSpread, bool kTwice, bool kDry = false> class FrameDecoder {
public:
  FrameDecoder(const VideoTrees &t, const uint8_t *data, uint32_t size, const Destination &d)
      : br_(data, data + size), d_(d), row_step_(kSpread ? 2 * d.pitch : d.pitch), type_(t.type),
        colours_(t.mono_colours), map_(t.mono_map), full_(t.full) {}

  [[gnu::always_inline]] bool run() {
    const uint32_t total = d_.blocks_per_row * d_.block_rows;
    uint32_t block = 0;
    while (block < total) {
      const uint32_t v = type_.next(br_, failed_);
      if (failed_)
        return false;
      uint32_t n = kRunLength[(v >> 2) & 63];
      bool past_end = false;
      if (n > total - block) {
        n = total - block;
        past_end = true;
      }
      switch (v & 3) {
      case kMono: run_of(n, [this](uint8_t *at) { mono(at); }); break;
      case kFull: run_of(n, [this](uint8_t *at) { full(at); }); break;
      case kSolid: {
        const uint32_t row = spread(v >> 8 & 0xFF);
        if constexpr (!kDry)
          run_of(n, [this, row](uint8_t *at) { solid(at, row); });
        break;
      }
      default: skip(n); break; // void: unchanged
      }
      block += n;
      if (past_end || failed_ || br_.overrun())
        return false;
    }
    return true;
  }

private:
  [[gnu::always_inline]] void put_row(uint8_t *at, uint32_t row, uint32_t pixels) const {
    if constexpr (kDry)
      return;
    uint8_t *p = at + row * row_step_;
    std::memcpy(p, &pixels, 4);
    if constexpr (kTwice)
      std::memcpy(p + d_.pitch, &pixels, 4);
  }

  // Calls code(at) for the next n blocks in raster order. The position is
  // carried from run to run: working it out from the block number would
  // cost a division per run.
  template <typename Block> [[gnu::always_inline]] void run_of(uint32_t n, Block &&code) {
    if constexpr (kDry) {
      for (uint32_t i = 0; i < n; ++i)
        code(nullptr);
      return;
    }
    for (uint32_t i = 0; i < n; ++i) {
      code(d_.top_left + row_at_ + 4 * bx_);
      if (++bx_ == d_.blocks_per_row) {
        bx_ = 0;
        row_at_ += 4 * row_step_;
      }
    }
  }

  void skip(uint32_t n) {
    if constexpr (kDry)
      return;
    bx_ += n;
    while (bx_ >= d_.blocks_per_row) {
      bx_ -= d_.blocks_per_row;
      row_at_ += 4 * row_step_;
    }
  }

  [[gnu::always_inline]] void mono(uint8_t *at) {
    const uint32_t c = colours_.next(br_, failed_);
    const uint32_t map = map_.next(br_, failed_);
    const uint32_t c0 = spread(c & 0xFF), c1 = spread(c >> 8);
    for (uint32_t r = 0; r < 4; ++r) {
      const uint32_t m = kNibbleMask[(map >> (4 * r)) & 15];
      put_row(at, r, (c0 & ~m) | (c1 & m));
    }
  }

  [[gnu::always_inline]] uint32_t full_row() {
    const uint32_t right = full_.next(br_, failed_); // pixels 2 and 3
    const uint32_t left = full_.next(br_, failed_);  // pixels 0 and 1
    return left | right << 16;
  }

  [[gnu::always_inline]] void full(uint8_t *at) {
    if (d_.version4) {
      if (br_.bit()) {
        const uint32_t top = doubled_row(full_.next(br_, failed_));
        const uint32_t bottom = doubled_row(full_.next(br_, failed_));
        put_row(at, 0, top);
        put_row(at, 1, top);
        put_row(at, 2, bottom);
        put_row(at, 3, bottom);
        return;
      }
      if (br_.bit()) {
        const uint32_t top = full_row();
        const uint32_t bottom = full_row();
        put_row(at, 0, top);
        put_row(at, 1, top);
        put_row(at, 2, bottom);
        put_row(at, 3, bottom);
        return;
      }
    }
    for (uint32_t r = 0; r < 4; ++r)
      put_row(at, r, full_row());
  }

  [[gnu::always_inline]] void solid(uint8_t *at, uint32_t row) const {
    for (uint32_t r = 0; r < 4; ++r)
      put_row(at, r, row);
  }

  BitReader br_;
  const Destination d_; // a copy, for the reason TreeView gives
  const size_t row_step_;
  size_t row_at_ = 0; // offset of the current block row from top_left
  uint32_t bx_ = 0;   // block column
  WideDecoder type_, colours_, map_, full_;
  bool failed_ = false;
};

} // namespace

bool decode_video(const VideoTrees &trees, const uint8_t *data, uint32_t size, const Destination &dest) {
  if (!dest.top_left)
    return false;
  if (dest.blocks_per_row == 0 || dest.block_rows == 0)
    return true; // a picture narrower or lower than a block codes nothing
  if (dest.vertical == 0)
    return FrameDecoder<false, false>(trees, data, size, dest).run();
  if (dest.vertical == kDoubled)
    return FrameDecoder<true, true>(trees, data, size, dest).run();
  return FrameDecoder<true, false>(trees, data, size, dest).run();
}

bool video_decodes(const VideoTrees &trees, const uint8_t *data, uint32_t size, uint32_t blocks_per_row,
                   uint32_t block_rows, bool version4) {
  if (blocks_per_row == 0 || block_rows == 0)
    return true;
  Destination shape;
  shape.blocks_per_row = blocks_per_row;
  shape.block_rows = block_rows;
  shape.version4 = version4;
  return FrameDecoder<false, false, true>(trees, data, size, shape).run();
}

} // namespace vex::formats::korvane

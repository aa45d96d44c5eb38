#include "formats/tolm/tolm_bundles.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vex::formats::tolm {
namespace {

struct BundleShape {
  uint8_t element_bits;
  uint8_t multiplier;
};
constexpr BundleShape kShapes[kBundleTotal] = {
    {4, 1}, {4, 1}, {8, 64}, {8, 8}, {5, 1}, {5, 1}, {11, 1}, {11, 1}, {4, 48},
};

// Repeat symbols 12-15 of the block-type chunks.
constexpr uint32_t kRepeatCount[4] = {4, 8, 12, 32};

uint32_t plane_width_for(Bundle b, uint32_t w) { return b == kSubBlockTypes ? w / 2 : w; }

} // namespace

uint32_t bundle_capacity(Bundle b, uint32_t plane_width) {
  return 512 + plane_width_for(b, plane_width) / 8 * kShapes[b].multiplier;
}

unsigned chunk_length_bits(uint32_t capacity) {
  return std::min(15u, static_cast<unsigned>(std::bit_width(capacity - 1)));
}

uint32_t bundle_buffer_size(Bundle b, uint32_t padded_width) {
  const uint32_t element_bits = kShapes[b].element_bits <= 8 ? 8 : 16;
  const uint32_t w = plane_width_for(b, padded_width);
  return (w / 8 * element_bits * kShapes[b].multiplier / 8 + 512 * element_bits / 8 + 3) & ~3u;
}

CodeTable read_code_table(BitReader &bits) {
  CodeTable t{&prefix_code(static_cast<int>(bits.read(4))), {}};
  for (int i = 0; i < 16; ++i)
    t.symbol[i] = static_cast<uint8_t>(i);
  if (t.code == &prefix_code(0))
    return t;
  if (bits.bit()) {
    // Explicit head: n + 1 symbols, then the unread ones in increasing order.
    const unsigned head = bits.read(3) + 1;
    bool used[16] = {};
    unsigned k = 0;
    for (; k < head; ++k) {
      t.symbol[k] = static_cast<uint8_t>(bits.read(4));
      used[t.symbol[k]] = true;
    }
    for (unsigned s = 0; s < 16 && k < 16; ++s)
      if (!used[s])
        t.symbol[k++] = static_cast<uint8_t>(s);
    return t;
  }
  // Merge form: eight optionally swapped pairs merged up `levels` times.
  const unsigned levels = bits.read(2);
  uint8_t list[16];
  for (unsigned i = 0; i < 8; ++i) {
    const bool swap = bits.bit();
    list[2 * i] = static_cast<uint8_t>(2 * i + swap);
    list[2 * i + 1] = static_cast<uint8_t>(2 * i + !swap);
  }
  for (unsigned level = 0, run = 2; level < levels; ++level, run *= 2) {
    uint8_t merged[16];
    for (unsigned start = 0; start < 16; start += 2 * run) {
      unsigned a = start, b = start + run, out = start;
      const unsigned a_end = start + run, b_end = start + 2 * run;
      while (a < a_end && b < b_end)
        merged[out++] = bits.bit() ? list[b++] : list[a++];
      while (a < a_end)
        merged[out++] = list[a++];
      while (b < b_end)
        merged[out++] = list[b++];
    }
    std::memcpy(list, merged, 16);
  }
  std::memcpy(t.symbol.data(), list, 16);
  return t;
}

BundleSet::BundleSet(void *const *buffers, uint32_t plane_width, bool signed_colours)
    : signed_colours_(signed_colours) {
  for (int i = 0; i < kBundleTotal; ++i) {
    Stream &s = streams_[i];
    s.bytes = static_cast<uint8_t *>(buffers[i]);
    s.capacity = bundle_capacity(static_cast<Bundle>(i), plane_width);
    s.length_bits = chunk_length_bits(s.capacity);
  }
}

void BundleSet::read_tables(BitReader &bits) {
  tables_[kBlockTypes] = read_code_table(bits);
  tables_[kSubBlockTypes] = read_code_table(bits);
  for (CodeTable &t : colour_context_)
    t = read_code_table(bits);
  tables_[kColours] = read_code_table(bits);
  tables_[kPatterns] = read_code_table(bits);
  tables_[kXOffsets] = read_code_table(bits);
  tables_[kYOffsets] = read_code_table(bits);
  tables_[kRuns] = read_code_table(bits);
  context_ = 0;
}

uint32_t BundleSet::read_count(BitReader &bits, Stream &s) {
  uint32_t n = bits.read(s.length_bits);
  if (n > s.capacity) {
    faults_ |= VEX_TOLM_FAULT_CHUNK;
    n = s.capacity;
  }
  s.cursor = 0;
  s.end = n;
  s.finished = n == 0;
  return n;
}

void BundleSet::refill(BitReader &bits) {
  for (int i = 0; i < kBundleTotal; ++i) {
    Stream &s = streams_[i];
    if (s.finished || s.cursor < s.end)
      continue;
    const uint32_t n = read_count(bits, s);
    if (n == 0)
      continue;
    switch (i) {
    case kBlockTypes:
    case kSubBlockTypes: read_types(bits, s, n, tables_[i]); break;
    case kColours: read_colours(bits, s, n); break;
    case kPatterns: read_patterns(bits, s, n); break;
    case kXOffsets:
    case kYOffsets: read_offsets(bits, s, n, tables_[i]); break;
    case kIntraDc: read_dc(bits, s, n, false); break;
    case kInterDc: read_dc(bits, s, n, true); break;
    case kRuns: read_runs(bits, s, n); break;
    default: break;
    }
  }
}

void BundleSet::read_types(BitReader &bits, Stream &s, uint32_t n, const CodeTable &table) {
  if (bits.bit()) {
    std::memset(s.bytes, static_cast<int>(bits.read(4)), n);
    return;
  }
  uint8_t previous = 0;
  for (uint32_t i = 0; i < n;) {
    const unsigned symbol = table.decode(bits);
    if (symbol < 12) {
      s.bytes[i++] = previous = static_cast<uint8_t>(symbol);
      continue;
    }
    uint32_t repeat = kRepeatCount[symbol - 12];
    if (repeat > n - i) {
      faults_ |= VEX_TOLM_FAULT_CHUNK;
      repeat = n - i;
    }
    std::memset(s.bytes + i, previous, repeat);
    i += repeat;
  }
}

void BundleSet::read_runs(BitReader &bits, Stream &s, uint32_t n) {
  if (bits.bit()) {
    std::memset(s.bytes, static_cast<int>(bits.read(4)), n);
    return;
  }
  for (uint32_t i = 0; i < n; ++i)
    s.bytes[i] = static_cast<uint8_t>(tables_[kRuns].decode(bits));
}

uint8_t BundleSet::read_colour(BitReader &bits) {
  const unsigned high = colour_context_[context_].decode(bits);
  const unsigned low = tables_[kColours].decode(bits);
  context_ = high;
  const unsigned v = high << 4 | low;
  if (!signed_colours_)
    return static_cast<uint8_t>(v);
  // Sign and magnitude around 128: v < 128 is 128 + v, otherwise 128 - (v - 128).
  return static_cast<uint8_t>(v < 128 ? 128 + v : 256 - v);
}

void BundleSet::read_colours(BitReader &bits, Stream &s, uint32_t n) {
  if (bits.bit()) {
    std::memset(s.bytes, read_colour(bits), n);
    return;
  }
  for (uint32_t i = 0; i < n; ++i)
    s.bytes[i] = read_colour(bits);
}

void BundleSet::read_patterns(BitReader &bits, Stream &s, uint32_t n) {
  const CodeTable &t = tables_[kPatterns];
  for (uint32_t i = 0; i < n; ++i) {
    const unsigned low = t.decode(bits);
    const unsigned high = t.decode(bits);
    s.bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
}

void BundleSet::read_offsets(BitReader &bits, Stream &s, uint32_t n, const CodeTable &table) {
  const auto signed_value = [&](unsigned m) {
    return static_cast<uint8_t>(m != 0 && bits.bit() ? -static_cast<int>(m) : static_cast<int>(m));
  };
  if (bits.bit()) {
    std::memset(s.bytes, signed_value(bits.read(4)), n);
    return;
  }
  for (uint32_t i = 0; i < n; ++i)
    s.bytes[i] = signed_value(table.decode(bits));
}

void BundleSet::store_wide(Stream &s, uint32_t i, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(s.bytes + 2 * i, &w, 2);
}

uint16_t BundleSet::take_wide(Bundle b) {
  Stream &s = streams_[b];
  if (s.cursor >= s.end) {
    faults_ |= VEX_TOLM_FAULT_UNDERRUN;
    return 0;
  }
  uint16_t v;
  std::memcpy(&v, s.bytes + 2 * s.cursor++, 2);
  return v;
}

void BundleSet::read_dc(BitReader &bits, Stream &s, uint32_t n, bool is_signed) {
  uint32_t current;
  if (is_signed) {
    const uint32_t magnitude = bits.read(10);
    current = magnitude != 0 && bits.bit() ? 0u - magnitude : magnitude;
  } else {
    current = bits.read(11);
  }
  store_wide(s, 0, current);
  for (uint32_t i = 1; i < n;) {
    const uint32_t group = std::min(8u, n - i);
    const unsigned width = bits.read(4);
    for (uint32_t g = 0; g < group; ++g, ++i) {
      if (width != 0) {
        const uint32_t d = bits.read(width);
        current += d != 0 && bits.bit() ? 0u - d : d;
      }
      store_wide(s, i, current);
    }
  }
}

} // namespace vex::formats::tolm

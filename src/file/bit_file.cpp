// Bit fields of 1 to 32 bits, least significant bit first. Whole bytes of a
// field go through the byte operations (which keep a pending bit position);
// the 1 to 7 leftover bits go through the held byte.
#include <bit>
#include <cstring>

#include "file/file_internal.h"
#include "util/bytes.h"

using namespace vex::file;

namespace {

uint32_t low_bits(uint32_t v, uint32_t m) { return v & ((1u << m) - 1u); }

// m (1..7) bits from the held byte and, when it runs out, one more raw byte.
uint32_t read_bits(VEXFILE *f, uint32_t m) {
  const uint32_t k = f->bit_count;
  const uint32_t available = (8 - k) % 8;
  uint32_t h = k != 0 ? f->held_byte >> k : 0;
  if (available < m) {
    uint8_t b = 0;
    if (f->buffer && f->mode == kReadMode && f->cursor < f->buffer_end) {
      b = f->buffer[f->cursor++]; // the common case, without the general copy loop
    } else if (VEXFileGetNB(f, &b, 1) == 0) {
      // The end of the file also ends the partial byte: missing bits read as
      // 0 and no pending bits remain, so the position reaches the end.
      f->held_byte = 0;
      f->bit_count = 0;
      return low_bits(h, m);
    }
    f->held_byte = b;
    h |= uint32_t{b} << available;
    f->bit_count = (k + m) % 8;
  } else {
    f->bit_count = k + m;
    if (f->bit_count == 8) {
      f->bit_count = 0;
      f->held_byte = 0;
    }
  }
  return low_bits(h, m);
}

void write_bits(VEXFILE *f, uint32_t v, uint32_t m) {
  const uint32_t k = f->bit_count;
  const uint32_t h = k != 0 ? f->held_byte : 0;
  const uint32_t t = (low_bits(v, m) << k) | h;
  if (k + m >= 8) {
    // Fields with room in the buffer went the direct way (put_bits_direct);
    // this is the path near the buffer's end and of ByteAlign.
    const uint8_t out = static_cast<uint8_t>(t);
    VEXFilePutNB(f, &out, 1);
    f->bit_count = (k + m) % 8;
    f->held_byte = (t >> 8) & 255u;
  } else {
    f->bit_count = k + m;
    f->held_byte = t & 255u;
  }
}

uint32_t get3(VEXFILE *f) {
  uint8_t b[3] = {0, 0, 0};
  VEXFileGet(f, b, 3);
  return vex::util::le24(b);
}

// The common case of a put: the write buffer has room for every byte the
// field completes. The field joins the pending bits and whole bytes go
// straight into the buffer, exactly as the byte operations would put them.
bool put_bits_direct(VEXFILE *f, uint32_t v, uint32_t w) {
  if (!f->buffer || f->mode != kWriteMode || f->cursor > f->buffer_end || f->buffer_end - f->cursor < 8)
    return false;
  const uint32_t k = f->bit_count;
  const uint64_t field = w == 32 ? uint64_t{v} : uint64_t{v & ((1u << w) - 1u)};
  const uint64_t t = field << k | (k != 0 ? f->held_byte : 0u);
  const uint32_t whole = (k + w) / 8;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(f->buffer + f->cursor, &t, 8); // bytes past `whole` are rewritten later
  } else {
    for (uint32_t i = 0; i < whole; ++i)
      f->buffer[f->cursor + i] = static_cast<uint8_t>(t >> (8 * i));
  }
  f->cursor += whole;
  f->bit_count = (k + w) % 8;
  f->held_byte = static_cast<uint32_t>(t >> (8 * whole)) & 255u;
  return true;
}

void put3(VEXFILE *f, uint32_t v) {
  uint8_t b[3];
  vex::util::put_le24(b, v);
  VEXFilePut(f, b, 3);
}

} // namespace

extern "C" uint32_t VEXFileGetBits(VEXFILE *f, uint32_t bits) {
  if (bits == 0 || !is_open(f))
    return 0;
  const uint32_t w = (bits - 1) % 32 + 1;
  switch (w) {
  case 32: return VEXFileGet32(f);
  case 24: return get3(f);
  case 16: return VEXFileGet16(f);
  case 8: return VEXFileGet8(f);
  default: break;
  }
  if (w > 24) {
    const uint32_t low = get3(f);
    return low | read_bits(f, w - 24) << 24;
  }
  if (w > 16) {
    const uint32_t low = VEXFileGet16(f);
    return low | read_bits(f, w - 16) << 16;
  }
  if (w > 8) {
    const uint32_t low = VEXFileGet8(f);
    return low | read_bits(f, w - 8) << 8;
  }
  return read_bits(f, w);
}

extern "C" uint32_t VEXFilePutBits(VEXFILE *f, uint32_t v, uint32_t bits) {
  if (bits == 0 || !is_open(f))
    return 0;
  const uint32_t w = (bits - 1) % 32 + 1;
  if (put_bits_direct(f, v, w)) // the result is the one of the general path below
    return w % 8 == 0 ? v : v >> (w / 8 * 8);
  switch (w) {
  case 32: return VEXFilePut32(f, v);
  case 24: put3(f, v); return v;
  case 16: return VEXFilePut16(f, v);
  case 8: return VEXFilePut8(f, v);
  default: break;
  }
  uint32_t m = w;
  if (w > 24) {
    put3(f, v);
    v >>= 24;
    m = w - 24;
  } else if (w > 16) {
    VEXFilePut16(f, v);
    v >>= 16;
    m = w - 16;
  } else if (w > 8) {
    VEXFilePut8(f, v);
    v >>= 8;
    m = w - 8;
  }
  write_bits(f, v, m);
  return v;
}

extern "C" void VEXFileByteAlign(VEXFILE *f) {
  if (!is_open(f))
    return;
  if (f->mode == kWriteMode && f->bit_count != 0)
    write_bits(f, 0, 8 - f->bit_count); // completes and emits the held byte
  f->bit_count = 0;
}

extern "C" uint32_t VEXFileBitPos(VEXFILE *f) { return is_open(f) ? f->bit_count : 0; }

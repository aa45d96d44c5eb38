// Byte transfers: raw (NB) and aligned to a pending bit position, plus the
// 8/16/32-bit little-endian values with their direct buffer path.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file/file_internal.h"
#include "file/os_file.h"
#include "util/status.h"

using namespace vex::file;

namespace {

uint32_t get_le(const uint8_t *p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | p[i];
  return v;
}

void put_le(uint8_t *p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i, v >>= 8)
    p[i] = static_cast<uint8_t>(v);
}

uint32_t get_value(VEXFILE *f, int bytes) {
  const auto n = static_cast<uint32_t>(bytes);
  if (f && f->buffer && f->mode == kReadMode && f->buffer_end - f->cursor >= n) {
    uint32_t v = get_le(f->buffer + f->cursor, bytes);
    f->cursor += n;
    if (const uint32_t k = f->bit_count; k != 0) {
      // As VEXFileGet does it: the value starts at the pending bit, and the
      // last raw byte becomes the held byte.
      const uint32_t bits = 8 * n;
      const uint64_t stream = (uint64_t{v} << 8 | (f->held_byte & 255u)) >> k;
      f->held_byte = v >> (bits - 8);
      v = static_cast<uint32_t>(stream & ((uint64_t{1} << bits) - 1));
    }
    return v;
  }
  uint8_t tmp[4] = {0, 0, 0, 0}; // bytes past the end read as 0
  VEXFileGet(f, tmp, n);
  return get_le(tmp, bytes);
}

uint32_t put_value(VEXFILE *f, uint32_t v, int bytes) {
  const auto n = static_cast<uint32_t>(bytes);
  if (f && f->buffer && f->mode == kWriteMode && f->bit_count == 0 && f->buffer_end - f->cursor >= n) {
    put_le(f->buffer + f->cursor, v, bytes);
    f->cursor += n;
    return v;
  }
  uint8_t tmp[4];
  put_le(tmp, v, bytes);
  VEXFilePut(f, tmp, n);
  return v;
}

// Writes n bytes to the system; a short write sets the error flag for good
// and leaves the system's reason ("No space left on device") as the
// thread's last one (a write that stopped at 0 bytes without an error has
// no reason of its own).
uint32_t write_out(VEXFILE *f, const void *src, uint32_t n) {
  errno = 0;
  const uint32_t w = vex::file::write_all(f->handle, src, n);
  if (w < n) {
    f->write_error = 1;
    const int err = errno;
    if (err != 0)
      vex::util::fail(vex::util::Status::kWriteFailed, "%s", vex::util::system_text(err).c_str());
    else
      vex::util::fail(vex::util::Status::kWriteFailed);
    errno = err; // callers may still read it
  }
  return w;
}

// Writes the cursor's worth of buffer.
void drain(VEXFILE *f) {
  f->file_offset += write_out(f, f->buffer, f->cursor);
  f->cursor = 0;
}

} // namespace

extern "C" uint32_t VEXFileGetNB(VEXFILE *f, void *dest, uint32_t n) {
  if (n == 0 || !is_open(f))
    return 0;
  if (f->mode == kWriteMode)
    switch_to_read(f);
  ensure_buffer(f);
  auto *d = static_cast<uint8_t *>(dest);
  uint32_t total = 0;
  for (;;) {
    if (f->cursor < f->buffer_end) {
      const uint32_t c = std::min(f->buffer_end - f->cursor, n - total);
      std::memcpy(d + total, f->buffer + f->cursor, c);
      f->cursor += c;
      total += c;
    }
    const uint32_t remaining = n - total;
    if (remaining == 0)
      return total;
    // At least the last fill's size goes straight to the caller; after a
    // fill of 0 at the end of the file every request does, so reads at the
    // end never loop.
    if (remaining >= f->buffer_end) {
      const uint32_t r = vex::file::read_some(f->handle, d + total, remaining);
      f->file_offset += r;
      return total + r;
    }
    const uint32_t r = vex::file::read_some(f->handle, f->buffer, f->capacity);
    f->buffer_end = r;
    f->file_offset += r;
    f->cursor = 0;
  }
}

extern "C" uint32_t VEXFileGet(VEXFILE *f, void *dest, uint32_t n) {
  const uint32_t r = VEXFileGetNB(f, dest, n);
  if (r == 0 && n != 0 && is_open(f))
    f->bit_count = 0; // at the end of the file no partial byte is left pending
  if (r == 0 || f->bit_count == 0)
    return r;
  // Shift the raw bytes so that byte i of the result starts at the pending
  // bit position: out = (b << (8 - k)) | (previous b >> k).
  const uint32_t k = f->bit_count;
  auto *d = static_cast<uint8_t *>(dest);
  uint32_t carry = f->held_byte >> k;
  f->held_byte = d[r - 1];
  for (uint32_t i = 0; i < r; ++i) {
    const uint32_t b = d[i];
    d[i] = static_cast<uint8_t>((b << (8 - k)) | carry);
    carry = b >> k;
  }
  return r;
}

extern "C" uint32_t VEXFileGet8(VEXFILE *f) { return get_value(f, 1); }
extern "C" uint32_t VEXFileGet16(VEXFILE *f) { return get_value(f, 2); }
extern "C" uint32_t VEXFileGet32(VEXFILE *f) { return get_value(f, 4); }

extern "C" uint32_t VEXFilePutNB(VEXFILE *f, const void *src, uint32_t n) {
  if (n == 0 || !is_open(f))
    return 0;
  ensure_buffer(f);
  if (f->mode == kReadMode && f->buffer)
    switch_to_write(f);
  const auto *s = static_cast<const uint8_t *>(src);
  uint32_t total = 0;
  for (;;) {
    const uint32_t remaining = n - total;
    if (f->cursor < f->buffer_end && (f->cursor > 0 || remaining <= f->buffer_end)) {
      const uint32_t c = std::min(f->buffer_end - f->cursor, remaining);
      std::memcpy(f->buffer + f->cursor, s + total, c);
      f->cursor += c;
      total += c;
    }
    const uint32_t left = n - total;
    if (left == 0)
      return total;
    if (f->cursor > 0)
      drain(f);
    if (left < f->buffer_end)
      continue;
    // An empty buffer and at least a buffer's worth: straight from the caller.
    const uint32_t w = write_out(f, s + total, left);
    f->file_offset += w;
    return total + w;
  }
}

extern "C" uint32_t VEXFilePut(VEXFILE *f, const void *src, uint32_t n) {
  if (n == 0 || !is_open(f))
    return 0;
  if (f->bit_count == 0)
    return VEXFilePutNB(f, src, n);
  // Each byte is shifted up by the k pending bits: t = (b << k) | held.
  const uint32_t k = f->bit_count;
  const auto *s = static_cast<const uint8_t *>(src);
  uint8_t chunk[256];
  uint32_t accepted = 0;
  for (uint32_t done = 0; done < n;) {
    const uint32_t c = std::min<uint32_t>(sizeof chunk, n - done);
    for (uint32_t i = 0; i < c; ++i) {
      const uint32_t t = (uint32_t{s[done + i]} << k) | f->held_byte;
      chunk[i] = static_cast<uint8_t>(t);
      f->held_byte = (t >> 8) & 255u;
    }
    accepted += VEXFilePutNB(f, chunk, c);
    done += c;
  }
  return accepted;
}

extern "C" uint32_t VEXFilePut8(VEXFILE *f, uint32_t v) { return put_value(f, v, 1); }
extern "C" uint32_t VEXFilePut16(VEXFILE *f, uint32_t v) { return put_value(f, v, 2); }
extern "C" uint32_t VEXFilePut32(VEXFILE *f, uint32_t v) { return put_value(f, v, 4); }

namespace vex::file {
void flush_buffer(VEXFILE *f) {
  if (f->cursor > 0)
    drain(f);
}
} // namespace vex::file

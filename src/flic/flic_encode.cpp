// The FLC writer's encoders: changed-colour palette packets, the run-length
// picture (BYTE_RUN), the word delta (DELTA_FLC) and the byte delta
// (DELTA_FLI).
#include "flic/flic_encode.h"

#include <cstring>

#include "flic/flic_format.h"

namespace vex::flic {

namespace {

// Output that never reaches its limit: put() refuses what would make the
// size limit or more, and the encoder then gives up.
class Out {
public:
  Out(uint8_t *base, size_t limit) : base_(base), limit_(limit) {}
  bool room(size_t n) const { return size_ + n < limit_; }
  size_t size() const { return size_; }
  void u8(uint32_t v) { base_[size_++] = static_cast<uint8_t>(v); }
  void u16(uint32_t v) {
    put_le16(base_ + size_, v);
    size_ += 2;
  }
  void bytes(const uint8_t *p, size_t n) {
    std::memcpy(base_ + size_, p, n);
    size_ += n;
  }
  void set16(size_t at, uint32_t v) { put_le16(base_ + at, v); }
  void set8(size_t at, uint32_t v) { base_[at] = static_cast<uint8_t>(v); }

private:
  uint8_t *base_;
  size_t limit_;
  size_t size_ = 0;
};

constexpr uint32_t kMaxCount = 127; // longest run or literal of one packet

bool byte_run_row(const uint8_t *row, uint32_t width, Out &out) {
  if (!out.room(1))
    return false;
  out.u8(0); // packet count: readers ignore it
  for (uint32_t x = 0; x < width;) {
    uint32_t run = 1;
    while (x + run < width && run < kMaxCount && row[x + run] == row[x])
      ++run;
    if (run >= 2) {
      if (!out.room(2))
        return false;
      out.u8(run);
      out.u8(row[x]);
      x += run;
      continue;
    }
    // A literal stops before two equal adjacent bytes of the row.
    uint32_t len = 1;
    while (x + len < width && len < kMaxCount && !(x + len + 1 < width && row[x + len] == row[x + len + 1]))
      ++len;
    if (!out.room(1 + len))
      return false;
    out.u8(static_cast<uint32_t>(-static_cast<int32_t>(len)));
    out.bytes(row + x, len);
    x += len;
  }
  return true;
}

// One line of 16-bit words against the previous frame's line.
class WordLine {
public:
  WordLine(const uint8_t *cur, const uint8_t *prev, uint32_t words) : cur_(cur), prev_(prev), words_(words) {}
  uint32_t word(uint32_t i) const { return le16(cur_ + 2 * i); }
  bool unchanged(uint32_t i) const {
    return i >= words_ || std::memcmp(cur_ + 2 * i, prev_ + 2 * i, 2) == 0;
  }
  // Index of the last word that differs; the line must differ somewhere.
  uint32_t last_changed() const {
    uint32_t i = words_;
    while (unchanged(i - 1))
      --i;
    return i - 1;
  }

private:
  const uint8_t *cur_;
  const uint8_t *prev_;
  uint32_t words_;
};

uint32_t flc_run_length(const WordLine &l, uint32_t pos, uint32_t last) {
  const uint32_t v = l.word(pos);
  uint32_t len = 1;
  while (pos + len <= last && len < kMaxCount && l.word(pos + len) == v &&
         !(l.unchanged(pos + len) && l.unchanged(pos + len + 1)))
    ++len;
  return len;
}

uint32_t flc_literal_length(const WordLine &l, uint32_t pos, uint32_t last) {
  uint32_t len = 1;
  for (; pos + len <= last && len < kMaxCount; ++len) {
    const uint32_t k = pos + len;
    if (l.unchanged(k) && l.unchanged(k + 1))
      break;
    // Three equal words code shorter as a run (tested while more than 4
    // bytes remain to the last differing word).
    if (2 * (last - k) > 4 && l.word(k) == l.word(k + 1) && l.word(k) == l.word(k + 2))
      break;
  }
  return len;
}

// Packets of one changed line; returns the packet count, or -1 on giving up.
int32_t flc_line(const WordLine &l, const uint8_t *cur, uint32_t words, Out &out) {
  const uint32_t last = l.last_changed();
  int32_t packets = 0;
  for (uint32_t pos = 0;;) {
    uint32_t skip = 0;
    while (pos <= last && skip < kMaxCount && l.unchanged(pos)) {
      ++pos;
      ++skip;
    }
    if (pos > last)
      return packets;
    if (pos == last || (pos + 1 < words && l.word(pos) == l.word(pos + 1))) {
      const uint32_t len = flc_run_length(l, pos, last);
      if (!out.room(4))
        return -1;
      out.u8(2 * skip);
      out.u8(static_cast<uint32_t>(-static_cast<int32_t>(len)));
      out.bytes(cur + 2 * pos, 2);
      pos += len;
    } else {
      const uint32_t len = flc_literal_length(l, pos, last);
      if (!out.room(2 + 2 * len))
        return -1;
      out.u8(2 * skip);
      out.u8(len);
      out.bytes(cur + 2 * pos, 2 * len);
      pos += len;
    }
    ++packets;
  }
}

// One line of bytes against the previous frame's line.
class ByteLine {
public:
  ByteLine(const uint8_t *cur, const uint8_t *prev, uint32_t width) : cur_(cur), prev_(prev), width_(width) {}
  uint8_t at(uint32_t i) const { return cur_[i]; }
  bool unchanged(uint32_t i) const { return i >= width_ || cur_[i] == prev_[i]; }
  bool four_unchanged(uint32_t i) const {
    if (i + 4 <= width_)
      return std::memcmp(cur_ + i, prev_ + i, 4) == 0; // one 32-bit group
    return unchanged(i) && unchanged(i + 1) && unchanged(i + 2) && unchanged(i + 3);
  }
  bool four_equal(uint32_t i) const {
    return i + 3 < width_ && cur_[i] == cur_[i + 1] && cur_[i] == cur_[i + 2] && cur_[i] == cur_[i + 3];
  }
  // One past the last differing byte; 0 for an unchanged line.
  uint32_t changed_end() const {
    uint32_t i = width_;
    while (i > 0 && cur_[i - 1] == prev_[i - 1])
      --i;
    return i;
  }

private:
  const uint8_t *cur_;
  const uint8_t *prev_;
  uint32_t width_;
};

constexpr uint32_t kMaxFliSkip = 255;
constexpr uint32_t kMaxFliPackets = 255; // the count is one byte

bool fli_line(const ByteLine &l, Out &out) {
  if (!out.room(1))
    return false;
  const size_t count_at = out.size();
  out.u8(0);
  const uint32_t end = l.changed_end();
  uint32_t packets = 0;
  for (uint32_t pos = 0;;) {
    uint32_t skip = 0;
    while (pos < end && skip < kMaxFliSkip && l.unchanged(pos)) {
      ++pos;
      ++skip;
    }
    if (pos >= end)
      break;
    if (packets == kMaxFliPackets)
      return false;
    uint32_t len = 1;
    if (l.four_equal(pos)) {
      while (pos + len < end && len < kMaxCount && l.at(pos + len) == l.at(pos) && !l.four_unchanged(pos + len))
        ++len;
      if (!out.room(3))
        return false;
      out.u8(skip);
      out.u8(static_cast<uint32_t>(-static_cast<int32_t>(len)));
      out.u8(l.at(pos));
    } else {
      while (pos + len < end && len < kMaxCount && !l.four_unchanged(pos + len) &&
             !(end - (pos + len) >= 4 && l.four_equal(pos + len)))
        ++len;
      if (!out.room(2 + len))
        return false;
      out.u8(skip);
      out.u8(len);
      for (uint32_t i = 0; i < len; ++i)
        out.u8(l.at(pos + i));
    }
    pos += len;
    ++packets;
  }
  out.set8(count_at, packets);
  return true;
}

} // namespace

size_t encode_palette(const uint8_t *pal, const uint8_t *old, bool all, uint8_t *out) {
  size_t size = 2;
  uint32_t packets = 0;
  uint32_t done = 0; // entries before the end of the previous packet
  for (uint32_t i = 0; i < 256;) {
    if (!all && std::memcmp(pal + 3 * i, old + 3 * i, 3) == 0) {
      ++i;
      continue;
    }
    uint32_t end = i + 1;
    while (end < 256 && (all || std::memcmp(pal + 3 * end, old + 3 * end, 3) != 0))
      ++end;
    out[size++] = static_cast<uint8_t>(i - done);
    out[size++] = static_cast<uint8_t>(end - i); // 256 is written as 0
    std::memcpy(out + size, pal + 3 * i, 3 * (end - i));
    size += 3 * (end - i);
    ++packets;
    done = i = end;
  }
  put_le16(out, packets);
  return size;
}

size_t encode_byte_run(const uint8_t *frame, uint32_t width, uint32_t height, uint8_t *out, size_t limit) {
  Out o(out, limit);
  for (uint32_t y = 0; y < height; ++y)
    if (!byte_run_row(frame + size_t{y} * width, width, o))
      return 0;
  return o.size();
}

size_t encode_delta_flc(const uint8_t *cur, const uint8_t *prev, uint32_t width, uint32_t height, uint8_t *out,
                        size_t limit) {
  Out o(out, limit);
  if (!o.room(2))
    return 0;
  o.u16(0);
  const uint32_t words = width / 2;
  uint32_t lines = 0;
  uint32_t skipped = 0;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t *c = cur + size_t{y} * width;
    const uint8_t *p = prev + size_t{y} * width;
    if (std::memcmp(c, p, width) == 0) {
      ++skipped;
      continue;
    }
    // A skip word holds at most 16384 lines (0xC000).
    while (skipped > 0) {
      const uint32_t k = skipped > 16384 ? 16384 : skipped;
      if (!o.room(2))
        return 0;
      o.u16(0x10000 - k);
      skipped -= k;
    }
    if (!o.room(2))
      return 0;
    const size_t count_at = o.size();
    o.u16(0);
    const int32_t packets = flc_line(WordLine(c, p, words), c, words, o);
    if (packets < 0)
      return 0;
    o.set16(count_at, static_cast<uint32_t>(packets));
    ++lines;
  }
  o.set16(0, lines);
  return o.size();
}

size_t encode_delta_fli(const uint8_t *cur, const uint8_t *prev, uint32_t width, uint32_t height, uint8_t *out,
                        size_t limit) {
  uint32_t first = 0;
  while (first < height && std::memcmp(cur + size_t{first} * width, prev + size_t{first} * width, width) == 0)
    ++first;
  if (first == height)
    return 0;
  uint32_t last = height - 1;
  while (std::memcmp(cur + size_t{last} * width, prev + size_t{last} * width, width) == 0)
    --last;
  Out o(out, limit);
  if (!o.room(4))
    return 0;
  o.u16(first);
  o.u16(last - first + 1);
  for (uint32_t y = first; y <= last; ++y)
    if (!fli_line(ByteLine(cur + size_t{y} * width, prev + size_t{y} * width, width), o))
      return 0;
  return o.size();
}

} // namespace vex::flic

#include "testkit/flic/fli_writer.h"

#include <algorithm>
#include <cstring>

namespace vex::testkit {

namespace {

constexpr uint16_t kColor64 = 11, kLc = 12, kBlack = 13, kBrun = 15, kCopy = 16;

void append_components(ByteVec &d, const Palette &p, uint32_t from, uint32_t to) {
  for (uint32_t i = 3 * from; i < 3 * to; ++i)
    d.push_back(static_cast<uint8_t>(p[i] >> 2));
}

void brun_row(ByteVec &d, const uint8_t *row, uint32_t w) {
  const size_t count_at = d.size();
  d.push_back(0);
  uint32_t packets = 0;
  for (uint32_t x = 0; x < w; ++packets) {
    uint32_t r = 1;
    while (x + r < w && r < 127 && row[x + r] == row[x])
      ++r;
    if (r >= 3) {
      d.push_back(static_cast<uint8_t>(r));
      d.push_back(row[x]);
      x += r;
      continue;
    }
    uint32_t l = 1;
    while (x + l < w && l < 127 && !(x + l + 2 < w && row[x + l] == row[x + l + 1] && row[x + l] == row[x + l + 2]))
      ++l;
    d.push_back(static_cast<uint8_t>(256 - l));
    d.insert(d.end(), row + x, row + x + l);
    x += l;
  }
  d[count_at] = static_cast<uint8_t>(std::min(packets, 255u));
}

// Packets of one line; false when more than 255 would be needed.
bool lc_line(ByteVec &d, const uint8_t *c, const uint8_t *p, uint32_t w) {
  uint32_t end = w;
  while (end > 0 && c[end - 1] == p[end - 1])
    --end;
  const size_t count_at = d.size();
  d.push_back(0);
  auto same = [&](uint32_t i) { return i >= end || c[i] == p[i]; };
  uint32_t packets = 0;
  for (uint32_t x = 0;;) {
    uint32_t s = 0;
    while (x < end && s < 255 && c[x] == p[x])
      ++x, ++s;
    if (x >= end)
      break;
    if (++packets > 255)
      return false;
    d.push_back(static_cast<uint8_t>(s));
    uint32_t r = 1;
    while (x + r < end && r < 127 && c[x + r] == c[x])
      ++r;
    if (r >= 4) {
      d.push_back(static_cast<uint8_t>(256 - r));
      d.push_back(c[x]);
      x += r;
      continue;
    }
    uint32_t l = 1;
    while (x + l < end && l < 127 && !(same(x + l) && same(x + l + 1) && same(x + l + 2)))
      ++l;
    d.push_back(static_cast<uint8_t>(l));
    d.insert(d.end(), c + x, c + x + l);
    x += l;
  }
  d[count_at] = static_cast<uint8_t>(packets);
  return true;
}

} // namespace

SubChunk color64_full(const Palette &p) {
  SubChunk s{kColor64, {}};
  put_le16(s.data, 1);
  s.data.push_back(0);
  s.data.push_back(0); // 256 entries
  append_components(s.data, p, 0, 256);
  return s;
}

std::optional<SubChunk> color64_changed(const Palette &p, const Palette &old) {
  uint32_t first = 0, last = 256;
  while (first < 256 && std::memcmp(&p[3 * first], &old[3 * first], 3) == 0)
    ++first;
  if (first == 256)
    return std::nullopt;
  while (std::memcmp(&p[3 * (last - 1)], &old[3 * (last - 1)], 3) == 0)
    --last;
  SubChunk s{kColor64, {}};
  put_le16(s.data, 1);
  s.data.push_back(static_cast<uint8_t>(first));
  s.data.push_back(static_cast<uint8_t>(last - first));
  append_components(s.data, p, first, last);
  return s;
}

SubChunk black_chunk() { return {kBlack, {}}; }

SubChunk brun_chunk(const uint8_t *px, uint32_t width, uint32_t height) {
  SubChunk s{kBrun, {}};
  for (uint32_t y = 0; y < height; ++y)
    brun_row(s.data, px + size_t{y} * width, width);
  return s;
}

SubChunk copy_chunk(const uint8_t *px, uint32_t width, uint32_t height) {
  return {kCopy, ByteVec(px, px + size_t{width} * height)};
}

std::optional<SubChunk> lc_chunk(const uint8_t *cur, const uint8_t *prev, uint32_t width, uint32_t height) {
  auto row_same = [&](uint32_t y) { return std::memcmp(cur + size_t{y} * width, prev + size_t{y} * width, width) == 0; };
  uint32_t first = 0, last = height;
  while (first < height && row_same(first))
    ++first;
  if (first == height)
    return std::nullopt;
  while (row_same(last - 1))
    --last;
  SubChunk s{kLc, {}};
  put_le16(s.data, first);
  put_le16(s.data, last - first);
  for (uint32_t y = first; y < last; ++y)
    if (!lc_line(s.data, cur + size_t{y} * width, prev + size_t{y} * width, width))
      return std::nullopt;
  return s;
}

std::map<uint16_t, int> write_fli(const PatternAnimation &anim, uint32_t ticks, const std::string &path) {
  const PatternOptions &o = anim.options();
  std::map<uint16_t, int> used;
  std::vector<ByteVec> frames;
  Frame8 prev;
  for (uint32_t i = 0; i < anim.frames(); ++i) {
    const Frame8 f = anim.frame(i);
    std::vector<SubChunk> chunks;
    if (i == 0)
      chunks.push_back(color64_full(f.palette));
    else if (auto c = color64_changed(f.palette, prev.palette))
      chunks.push_back(*c);
    const bool zero = std::all_of(f.pixels.begin(), f.pixels.end(), [](uint8_t v) { return v == 0; });
    if (zero) {
      chunks.push_back(black_chunk());
    } else if (i == 0) {
      chunks.push_back(brun_chunk(f.pixels.data(), o.width, o.height));
    } else if (f.pixels != prev.pixels) {
      auto lc = lc_chunk(f.pixels.data(), prev.pixels.data(), o.width, o.height);
      if (lc && lc->data.size() < f.pixels.size())
        chunks.push_back(std::move(*lc));
      else
        chunks.push_back(copy_chunk(f.pixels.data(), o.width, o.height));
    }
    for (const SubChunk &c : chunks)
      ++used[c.type];
    frames.push_back(frame_chunk(chunks));
    prev = f;
  }
  FlicHeader h;
  h.magic = VEXFLIC_MAGIC_FLI;
  h.frames = static_cast<uint16_t>(anim.frames());
  h.width = static_cast<uint16_t>(o.width);
  h.height = static_cast<uint16_t>(o.height);
  h.speed = ticks;
  h.frame1 = 0; // FLI readers start at 128 whatever this holds
  if (!save_bytes(path, flic_file(h, frames)))
    return {};
  return used;
}

} // namespace vex::testkit

#include "testkit/flic/flic_test_frames.h"

#include <algorithm>

#include "testkit/flic/pattern.h"
#include "vexutil/flic.h"

namespace vex::testkit {

FlicHeader flic_header(uint16_t frames, uint16_t w, uint16_t h, uint16_t magic) {
  FlicHeader hd;
  hd.magic = magic;
  hd.frames = frames;
  hd.width = w;
  hd.height = h;
  hd.speed = 70;
  return hd;
}

ByteVec raw_frame(uint8_t v, uint32_t w, uint32_t h) {
  return frame_chunk({{VEXFLIC_FLI_COPY, ByteVec(size_t{w} * h, v)}});
}

ByteVec marker_frame(uint8_t v, uint16_t width) {
  ByteVec d = {0, 1, v};
  for (uint32_t left = width - 1u; left > 0;) {
    const uint32_t n = std::min(left, 127u);
    d.push_back(static_cast<uint8_t>(n));
    d.push_back(0);
    left -= n;
  }
  return frame_chunk({{VEXFLIC_BYTE_RUN, d}});
}

ByteVec with_size(ByteVec frame, uint32_t size) {
  set_le32(frame, 0, size);
  return frame;
}

GuardedPicture::GuardedPicture(uint32_t w, uint32_t h, uint8_t fill)
    : w_(w), h_(h), pitch_(w + 4), block_(64 + size_t{pitch_} * (h + 2) + 64, kGuard) {
  for (uint32_t y = 0; y < h; ++y)
    std::fill_n(block_.begin() + 64 + y * pitch_, w, fill);
}

std::vector<uint8_t> GuardedPicture::row(uint32_t y) const {
  return {block_.begin() + 64 + y * pitch_, block_.begin() + 64 + y * pitch_ + w_};
}

bool GuardedPicture::guards_intact() const {
  for (size_t i = 0; i < block_.size(); ++i) {
    const size_t o = i - 64;
    if (!(i >= 64 && o < size_t{pitch_} * h_ && o % pitch_ < w_) && block_[i] != kGuard)
      return false;
  }
  return true;
}

std::vector<uint8_t> edge_frame(std::mt19937 &rng, uint32_t w, uint32_t h, const std::vector<uint8_t> *base) {
  std::vector<uint8_t> f = base ? *base : std::vector<uint8_t>(size_t{w} * h, 0);
  const int kind = static_cast<int>(rng() % 6);
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t *row = f.data() + size_t{y} * w;
    switch ((kind + y) % 6) {
    case 0: break; // unchanged line
    case 1:
      for (uint32_t x = 0; x < w; ++x)
        row[x] = static_cast<uint8_t>(rng());
      break;
    case 2: {
      const uint32_t a = rng() % w, len = rng() % (w - a + 1);
      std::fill(row + a, row + a + len, static_cast<uint8_t>(rng()));
      break;
    }
    case 3:
      for (uint32_t x = 0; x < w; ++x)
        row[x] = static_cast<uint8_t>((x / (1 + rng() % 3)) & 1 ? 7 : 9);
      break;
    case 4:
      row[0] ^= 1;
      row[w - 1] ^= 2;
      break;
    default:
      for (uint32_t x = 0; x < w; x += 1 + rng() % 9)
        row[x] = static_cast<uint8_t>(rng());
    }
  }
  return f;
}

std::string flic_differs(const std::string &path, const FlicWindow &want, const std::vector<ByteVec> &src, int src_w,
                         int src_h) {
  VEXFLIC *h = VEXFlicOpen(path.c_str());
  if (!h)
    return path + " does not open";
  std::string why;
  const auto at = [](int f, int x, int y) {
    return "frame " + std::to_string(f) + " at " + std::to_string(x) + "," + std::to_string(y);
  };
  if (h->width != static_cast<uint32_t>((want.w + 3) & ~3) || h->height != static_cast<uint32_t>(want.h) ||
      h->frame_count != want.frames.size() || (want.rate != 0 && h->rate != want.rate))
    why = "the file has " + std::to_string(h->frame_count) + " frames of " + std::to_string(h->width) + " x " +
          std::to_string(h->height) + " at rate " + std::to_string(h->rate);
  ByteVec buf(size_t{h->pitch} * h->buffer_height);
  for (size_t i = 0; why.empty() && i < want.frames.size(); ++i) {
    const int f = want.frames[i];
    if (VEXFlicGetNext(h, buf.data()) == VEXFLIC_FAILED) {
      why = "frame " + std::to_string(i + 1) + " does not decode";
      break;
    }
    const ByteVec got = to_rgb(buf.data(), want.w, want.h, h->pitch, VEXFlicGetPalette(h));
    for (int y = 0; why.empty() && y < want.h; ++y)
      for (int x = 0; why.empty() && x < want.w; ++x) {
        const int sx = want.x + x, sy = want.y + y;
        if (sx < 0 || sy < 0 || sx >= src_w || sy >= src_h) {
          if (want.zero_outside && buf[size_t(y) * h->pitch + x] != 0)
            why = at(f, x, y) + ": not colour 0 outside the source";
          continue;
        }
        if (!std::equal(got.begin() + 3 * (size_t(y) * want.w + x), got.begin() + 3 * (size_t(y) * want.w + x) + 3,
                        src.at(f - 1).begin() + 3 * (size_t(sy) * src_w + sx)))
          why = at(f, x, y) + ": not the source's pixel";
      }
  }
  VEXFlicClose(h);
  return why;
}

} // namespace vex::testkit

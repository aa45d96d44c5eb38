#include "testkit/sfile/sound_reading.h"

namespace vex::testkit {

Sound open_sound(const std::string &name, const SoundOptions &o, VEXMessageCallback callback) {
  return Sound(SFileOpen(name.c_str(), o.rate, o.bits, o.channels, o.start, o.end, o.track, o.raw_format,
                         o.raw_header, callback));
}

std::vector<uint8_t> read_sound(SFILE *s, const std::vector<uint32_t> &pieces) {
  std::vector<uint8_t> out;
  for (size_t i = 0; s && i < 100000000; ++i) {
    const uint32_t piece = pieces[i % pieces.size()];
    std::vector<uint8_t> buf(piece + 64, 0xA5);
    const uint32_t n = SFileGet(s, buf.data(), piece);
    if (n > piece)
      return {};
    for (size_t j = piece; j < buf.size(); ++j)
      if (buf[j] != 0xA5)
        return {};
    out.insert(out.end(), buf.begin(), buf.begin() + n);
    if (n == 0 && piece >= s->frame_bytes)
      break;
  }
  return out;
}

} // namespace vex::testkit

#include "testkit/formats/tolm/tolm_sound_track.h"
#include "util/bytes.h"

#include <algorithm>

namespace vex::testkit::tolm {

MovieTrack coded_track(const Pcm &pcm, const SoundTrackPlan &plan, uint32_t frames, uint32_t rate_num,
                       uint32_t rate_den, CodedStream *stream) {
  const CodedStream s = encode_stream(pcm, plan.rate, plan.channels, plan.quality);
  MovieTrack t;
  t.format = (plan.rate & 0xFFFF) | kTrackDecodable | (plan.eight_bit ? 0 : kTrack16Bit) |
             (plan.channels == 2 ? kTrackStereo : 0);
  t.id = plan.id;
  const uint64_t per_second = uint64_t{plan.rate} * plan.channels * 2;
  const uint32_t block_bytes = (s.n - s.overlap) * 2;
  size_t next = 0;
  uint64_t decoded = 0;
  for (uint32_t f = 0; f < frames; ++f) {
    const bool last = f + 1 == frames;
    // Sound due by the end of frame f, in bytes.
    const uint64_t due = per_second * (f + 1) * rate_den / rate_num;
    std::vector<uint8_t> packet(4, 0);
    uint64_t yields = 0;
    while (next < s.blocks.size() && (last || decoded + yields < due)) {
      const auto &b = s.blocks[next++].bytes;
      packet.insert(packet.end(), b.begin(), b.end());
      yields += block_bytes;
    }
    yields = std::min<uint64_t>(yields, s.pcm_bytes - std::min<uint64_t>(decoded, s.pcm_bytes));
    decoded += yields;
    if (packet.size() == 4) {
      t.packets.emplace_back(); // nothing due in this frame
      continue;
    }
    util::put_le32(packet.data(), yields);
    t.packets.push_back(std::move(packet));
  }
  if (stream)
    *stream = s;
  return t;
}

} // namespace vex::testkit::tolm

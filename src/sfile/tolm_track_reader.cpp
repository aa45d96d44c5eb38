#include "sfile/tolm_track_reader.h"

#include <algorithm>
#include <cstring>

#include "sfile/sound_source.h"
#include "util/bytes.h"

namespace vex::sfile {

namespace tolm = formats::tolm;

std::unique_ptr<TolmTrackReader> TolmTrackReader::open(tolm::TOLM *t, uint32_t track) {
  if (!t || track >= t->tracks)
    return nullptr;
  const uint32_t format = tolm::TolmGetTrackFormat(t, track);
  if (!(format & tolm::kTolmTrackDecodable))
    return nullptr;
  auto r = std::make_unique<TolmTrackReader>(Key{});
  r->tolm_ = t;
  r->track_ = track;
  r->rate_ = format & tolm::kTolmTrackRateMask;
  r->bits_ = (format & tolm::kTolmTrack16Bit) ? 16 : 8;
  r->channels_ = (format & tolm::kTolmTrackStereo) ? 2 : 1;
  const uint32_t decoded = std::min(t->track_sizes[track], kMaxMovieBuffer);
  const uint32_t rounded = (decoded + 3) / 4 * 4;
  r->buffer_size_ = r->bits_ == 8 ? rounded / 2 : rounded;
  if (r->rate_ == 0 || !r->restart())
    return nullptr;
  return r;
}

bool TolmTrackReader::restart() {
  decoder_.reset(AudioDecOpen(rate_, channels_, 1));
  return decoder_ != nullptr;
}

uint32_t TolmTrackReader::read_frame(uint8_t *dest, uint32_t space) {
  const uint8_t *packet = nullptr;
  uint32_t length = 0;
  if (!tolm::TolmGetPacket(tolm_, track_, &packet, &length) || length < 4)
    return 0;
  const uint32_t decoded = util::le32(packet);
  const uint8_t *at = packet + 4;
  const uint8_t *const end = packet + length;
  const bool eight = bits_ == 8;
  uint32_t produced = 0; // 16-bit bytes decoded so far
  uint32_t written = 0;
  while (produced < decoded && at < end) {
    const int16_t *pcm = nullptr;
    uint32_t bytes = 0;
    const uint8_t *next = nullptr;
    AudioDecBlock(decoder_.get(), &pcm, &bytes, at, static_cast<uint32_t>(end - at), &next);
    if (!next || next <= at)
      break;
    at = next;
    const uint32_t take = std::min(bytes, decoded - produced) / 2 * 2;
    produced += std::min(bytes, decoded - produced);
    const uint32_t samples = take / 2;
    if (eight) {
      const uint32_t n = std::min(samples, space - written);
      for (uint32_t i = 0; i < n; ++i)
        dest[written + i] = static_cast<uint8_t>((static_cast<uint16_t>(pcm[i]) >> 8) + 128);
      written += n;
    } else {
      const uint32_t n = std::min(take, (space - written) / 2 * 2);
      std::memcpy(dest + written, pcm, n);
      written += n;
    }
  }
  return written;
}

} // namespace vex::sfile

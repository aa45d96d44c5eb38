// Tolm movies (kind 6): the sound of one track, frame by frame. Every
// frame's packet is delivered, the last frame's included: the length
// counts every frame.
#include <algorithm>

#include "formats/tolm/tolm_reader.h"
#include "sfile/sound_source.h"
#include "sfile/tolm_track_reader.h"

namespace vex::sfile {
namespace {

namespace tolm = formats::tolm;
using util::Status;

constexpr uint32_t kSoundOpenFlags = tolm::kTolmOpenNoBackground | tolm::kTolmOpenByTrackId;

tolm::TOLM *movie(Source &s) { return static_cast<tolm::TOLM *>(s.tolm); }
TolmTrackReader *track_reader(Source &s) { return static_cast<TolmTrackReader *>(s.tolm_track); }

} // namespace

Opened open_tolm(Source &s, const OpenArgs &a, const char *name) {
  const std::string tlm = with_extension(name, ".tlm");
  if (tlm.empty())
    return Opened::declined;
  file::ByteSource source;
  source.open(tlm.c_str());
  s.tolm = tolm::TolmOpen(std::move(source), kSoundOpenFlags);
  if (!s.tolm)
    return Opened::declined;
  copy_text(s.name, sizeof s.name, tlm.c_str());
  return accept_tolm(s, a);
}

Opened accept_tolm(Source &s, const OpenArgs &a) {
  tolm::TOLM *t = movie(s);
  tolm::TolmSetVideoDecoding(t, 0);
  std::unique_ptr<TolmTrackReader> r =
      a.track >= 0 ? TolmTrackReader::open(t, static_cast<uint32_t>(a.track)) : nullptr;
  if (!r) {
    release_tolm(s);
    report(a, Status::kNotThisFormat, "No sound found in the Tolm file.");
    return Opened::failed;
  }
  s.source_rate = r->rate();
  s.source_bits = r->bits();
  s.source_channels = r->channels();
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  s.buffer_size = std::max(r->buffer_size(), 4u);
  const uint64_t per_second = uint64_t{s.source_rate} * s.source_frame_bytes;
  uint64_t total = uint64_t{t->frames} * s.buffer_size; // bound when the movie has no frame rate
  if (t->rate_num != 0) {
    s.frame_time = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{t->rate_den} * 100000 / t->rate_num, UINT32_MAX));
    total = uint64_t{t->frames} * s.frame_time * per_second / 100000 / 4 * 4;
  }
  s.total = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX / 4 * 4));
  s.tolm_track = r.release();
  s.kind = kTolm;
  s.type[0] = '\0';
  return Opened::accepted;
}

uint32_t refill_tolm(Source &s, uint8_t *dest, uint32_t space) {
  tolm::TOLM *t = movie(s);
  const uint32_t n = drop_skipped(s, dest, track_reader(s)->read_frame(dest, space));
  const int32_t before = t->current;
  if (before >= static_cast<int32_t>(t->frames)) {
    s.remaining = std::min(s.remaining, n); // the last frame's sound was the last
  } else {
    tolm::TolmNextFrame(t);
    if (t->current == before || t->read_error)
      s.remaining = std::min(s.remaining, n);
  }
  return std::min(n, s.remaining);
}

void rewind_tolm(Source &s) {
  tolm::TolmGoto(movie(s), 0, 1);
  track_reader(s)->restart();
}

void release_tolm(Source &s) {
  std::unique_ptr<TolmTrackReader>(track_reader(s)).reset();
  s.tolm_track = nullptr;
  tolm::TolmClose(movie(s));
  s.tolm = nullptr;
}

} // namespace vex::sfile

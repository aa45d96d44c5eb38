// The AVI sound track: made at the first OGFilePutSoundAmount, paced so
// that it runs a pre-roll ahead of the frames and ends with the movie.
#include <cerrno>
#include <cstring>

#include "movie/avi_writer.h"
#include "ogfile/ogfile_state.h"
#include "util/bytes.h"
#include "util/status.h"

namespace vex::ogfile {

namespace {

bool make_track(OGFILE *o, uint32_t rate, uint32_t bits, uint32_t channels) {
  OGFILESTATE &s = *o->state;
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || rate == 0 || rate > 0x7FFFFFFF / 4)
    return false;
  s.pace = pace_for(rate, bits, channels, o->rate, o->scale, o->frame_count);
  movie::StreamHeader h{};
  h.type = movie::kAudio;
  h.scale = s.pace.block_align;
  h.rate = s.pace.bytes_per_second;
  h.initial_frames = s.pace.initial_frames;
  h.sample_size = s.pace.block_align;
  movie::OutStream *audio = nullptr;
  if (movie::FileCreateStream(static_cast<movie::OutFile *>(o->avi_file), &audio, &h) != movie::kOk)
    return false;
  o->avi_audio = audio;
  // tag, channels, samples per second, bytes per second, block align,
  // bits per sample, extra size
  uint8_t *w = o->wave_format;
  util::put_le16(w, 1);
  util::put_le16(w + 2, channels);
  util::put_le32(w + 4, rate);
  util::put_le32(w + 8, s.pace.bytes_per_second);
  util::put_le16(w + 12, s.pace.block_align);
  util::put_le16(w + 14, bits);
  util::put_le16(w + 16, 0);
  o->sound_preroll = s.pace.preroll;
  o->sound_total = s.pace.total;
  o->sound_allowed = s.pace.total;
  return true;
}

} // namespace

} // namespace vex::ogfile

extern "C" uint32_t OGFilePutSoundAmount(OGFILE *o, uint32_t rate, uint32_t bits, uint32_t channels) {
  if (!o || !o->state || o->kind != OGFILE_AVI || o->state->sound_failed)
    return 0;
  if (!o->avi_audio && !vex::ogfile::make_track(o, rate, bits, channels)) {
    o->state->sound_failed = true;
    vex::ogfile::tell(o, "Error creating the output sound track.", 2);
    return 0;
  }
  return vex::ogfile::bytes_due(o->state->pace, o->rate, o->scale, o->sound_writes, o->sound_written,
                                o->sound_allowed);
}

extern "C" void OGFilePutSound(OGFILE *o, const void *pcm, uint32_t bytes) {
  if (!o || !o->avi_audio || !pcm || bytes == 0)
    return;
  auto *audio = static_cast<vex::movie::OutStream *>(o->avi_audio);
  const uint32_t align = o->state->pace.block_align;
  const uint32_t samples = bytes / align;
  vex::util::clear_reason();
  errno = 0;
  if (samples == 0 ||
      vex::movie::StreamSetFormat(audio, static_cast<int32_t>(o->sound_position), o->wave_format,
                                  sizeof o->wave_format) != vex::movie::kOk ||
      vex::movie::StreamWrite(audio, static_cast<int32_t>(o->sound_position), static_cast<int32_t>(samples), pcm,
                              static_cast<int32_t>(bytes), 0, nullptr, nullptr) != vex::movie::kOk) {
    if (vex::util::last_status() == vex::util::Status::kOk)
      vex::util::fail(vex::util::Status::kWriteFailed, "%s", vex::ogfile::write_failure_text(errno).c_str());
    if (o->state->failure.empty())
      o->state->failure = vex::util::last_reason();
    o->error = 1;
  }
  o->sound_position += samples;
  o->sound_written += bytes;
  o->sound_allowed -= std::min(bytes, o->sound_allowed);
  o->sound_writes += 1;
}

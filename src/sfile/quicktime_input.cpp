// The sound of a QuickTime movie (kind 5), the last reader tried.
#include <unistd.h>

#include <algorithm>

#include "movie/qt_source_open.h"
#include "sfile/sound_source.h"
#include "vexutil/movie.h"

namespace vex::sfile {
namespace {

bool exists(const std::string &name) { return !name.empty() && ::access(name.c_str(), F_OK) == 0; }

// No reader took the input: say so, with the WAV reader's reason for a WAV
// file that is not plain PCM, or that there is no such file at all.
void fail_unread(const Source &s, const OpenArgs &a, const char *name) {
  const char *text = "Error opening the audio input file.";
  bool found = exists(name);
  for (const char *ext : {".wav", ".kvn", ".tlm", ".avi", ".mov"})
    found = found || exists(with_extension(name, ext));
  if (!found) {
    report(a, util::Status::kNoFile, text, "no such file");
    return;
  }
  const std::string detail = s.wave_reason.empty() ? std::string(text) : std::string(text) + " " + s.wave_reason;
  report(a, s.wave_reason.empty() ? util::Status::kNotThisFormat : util::Status::kUnsupported, text, detail.c_str());
}

} // namespace

Opened open_quicktime(Source &s, const OpenArgs &a, const char *name) {
  const std::string mov = with_extension(name, ".mov");
  file::ByteSource source;
  if (!mov.empty())
    source.open(mov.c_str());
  s.qt = movie::QtsFileOpenSource(source, a.track);
  if (!s.qt || (s.qt->bits != 8 && s.qt->bits != 16) || (s.qt->channels != 1 && s.qt->channels != 2) ||
      s.qt->rate == 0) {
    QTSFileClose(s.qt);
    s.qt = nullptr;
    fail_unread(s, a, name);
    return Opened::failed;
  }
  s.source_rate = s.qt->rate;
  s.source_bits = s.qt->bits;
  s.source_channels = s.qt->channels;
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  s.total = s.qt->total_bytes - s.qt->total_bytes % s.source_frame_bytes;
  if (s.qt->video_rate_num != 0)
    s.frame_time = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{s.qt->video_rate_den} * 100000 / s.qt->video_rate_num, UINT32_MAX));
  s.buffer_size = kFileBufferBytes;
  s.kind = kQuickTime;
  copy_text(s.type, sizeof s.type, "QuickTime");
  copy_text(s.name, sizeof s.name, mov.c_str());
  return Opened::accepted;
}

uint32_t refill_quicktime(Source &s, uint8_t *dest, uint32_t space) { return QTSFileGet(s.qt, dest, space); }

} // namespace vex::sfile

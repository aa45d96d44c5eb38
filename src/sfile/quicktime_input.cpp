// The sound of a QuickTime movie (kind 5), the last reader tried.
#include <algorithm>

#include "movie/qt_source_open.h"
#include "sfile/sound_reader.h"
#include "vexutil/movie.h"

namespace vex::sfile {
namespace {

class QuickTimeReader final : public SoundReader {
public:
  explicit QuickTimeReader(QTSFILE *qt) : qt_(qt) {}
  ~QuickTimeReader() override { QTSFileClose(qt_); }
  QuickTimeReader(const QuickTimeReader &) = delete;
  QuickTimeReader &operator=(const QuickTimeReader &) = delete;

  uint32_t refill(Source &, uint8_t *dest, uint32_t space) override { return QTSFileGet(qt_, dest, space); }
  void rewind(Source &) override { QTSFileGoto(qt_, start_ms_); }
  void skip_start(Source &, uint32_t, int64_t ms) override {
    start_ms_ = static_cast<uint32_t>(std::min<int64_t>(ms, UINT32_MAX));
    QTSFileGoto(qt_, start_ms_);
  }

private:
  QTSFILE *qt_;
  uint32_t start_ms_ = 0; // the trimmed start
};

bool usable(const QTSFILE &qt) {
  return (qt.bits == 8 || qt.bits == 16) && (qt.channels == 1 || qt.channels == 2) && qt.rate != 0;
}

Opened open_quicktime(Source &s, const OpenArgs &a, const lists::InputFile &file) {
  QTSFILE *qt = movie::QtsFileOpenSource(file.source, a.track);
  if (!qt || !usable(*qt)) {
    QTSFileClose(qt);
    return Opened::declined;
  }
  s.reader = std::make_unique<QuickTimeReader>(qt);
  s.source_rate = qt->rate;
  s.source_bits = qt->bits;
  s.source_channels = qt->channels;
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  s.total = qt->total_bytes - qt->total_bytes % s.source_frame_bytes;
  if (qt->video_rate_num != 0)
    s.frame_time =
        static_cast<uint32_t>(std::min<uint64_t>(uint64_t{qt->video_rate_den} * 100000 / qt->video_rate_num, UINT32_MAX));
  s.buffer_size = kFileBufferBytes;
  s.kind = kQuickTime;
  s.codec = movie::QtsCodecName(qt);
  copy_text(s.type, sizeof s.type, "QuickTime");
  copy_text(s.name, sizeof s.name, file.name.c_str());
  return Opened::accepted;
}

} // namespace

const SoundRow kQuickTimeRow{".mov", nullptr, open_quicktime};

} // namespace vex::sfile

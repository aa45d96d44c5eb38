// Arbitrary bytes as a movie, read from memory: through QTFile (every
// frame, then a jump back), QTSFile (all the sound, then a jump), and the
// AVI streams (every frame as a bitmap, every sample size, the sound by
// position), all from the one memory source.
#include <cstdint>
#include <span>
#include <vector>

#include "file/byte_source.h"
#include "movie/avi_reader.h"
#include "movie/qt_source_open.h"
#include "vexutil/movie.h"

namespace {

// Caps that keep one input's work bounded; bigger movies add nothing.
constexpr int kMaxFrames = 64;
constexpr uint32_t kMaxSoundBytes = 1 << 20;

using vex::file::ByteSource;

void pictures(const ByteSource &source) {
  QTFILE *qt = vex::movie::QtFileOpenSource(source);
  if (!qt)
    return;
  for (int i = 0; i < qt->frame_count && i < kMaxFrames; ++i)
    QTFileGet(qt);
  QTFileGoto(qt, qt->frame_count / 2);
  QTFileGet(qt);
  QTFileClose(qt);
}

void sound(const ByteSource &source) {
  QTSFILE *qs = vex::movie::QtsFileOpenSource(source, 0);
  if (!qs)
    return;
  std::vector<uint8_t> buf(65536);
  for (uint32_t got = 0; got < kMaxSoundBytes && got < qs->total_bytes;) {
    const uint32_t n = QTSFileGet(qs, buf.data(), static_cast<uint32_t>(buf.size()));
    if (n <= 16)
      break;
    got += n;
  }
  QTSFileGoto(qs, 100);
  QTSFileGet(qs, buf.data(), 1000);
  QTSFileClose(qs);
}

void avi(const ByteSource &source) {
  using namespace vex::movie;
  Stream *v = nullptr;
  if (StreamOpenFromSource(&v, source, kVideo, 0) == kOk) {
    StreamInfo info{};
    StreamInfoOf(v, &info);
    if (Getter *g = StreamGetFrameOpen(v)) {
      for (int32_t i = 0; i < StreamLength(v) && i < kMaxFrames; ++i) {
        int32_t bytes = 0;
        StreamRead(v, i, 1, nullptr, 0, &bytes, nullptr);
        StreamGetFrame(g, i);
      }
      StreamGetFrameClose(g);
    }
    StreamRelease(v);
  }
  Stream *a = nullptr;
  if (StreamOpenFromSource(&a, source, kAudio, 0) == kOk) {
    WaveFormat w{};
    int32_t size = sizeof w;
    StreamReadFormat(a, 0, &w, &size);
    std::vector<uint8_t> buf(16384);
    int32_t bytes = 0, got = 0;
    for (int32_t at : {0, 4000, 100})
      StreamRead(a, at, 4096, buf.data(), static_cast<int32_t>(buf.size()), &bytes, &got);
    StreamRelease(a);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ByteSource source;
  source.open(std::span<const uint8_t>(data, size));
  pictures(source);
  sound(source);
  avi(source);
  return 0;
}

// Any bytes as a Korvane movie, read from memory (for odd sizes with a
// read-ahead large enough to hold every record), then every
// record decoded with every track's sound, a lap past the end, and a few
// seeks. The reader must stay inside its buffers and never hang.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "file/byte_source.h"
#include "formats/korvane/korvane.h"
#include "util/limits.h"

namespace kv = vex::formats::korvane;

namespace {

// Larger pictures are refused: the library's pixel limit, lowered.
const bool limited = [] {
  vex::util::lower_limits(4u << 20, 0);
  return true;
}();
constexpr uint32_t kMaxRecords = 64;

void play(KORVA *k) {
  const uint64_t pixels = uint64_t{k->width} * k->height;
  std::vector<uint8_t> picture(pixels);
  if (!KorvaToBuffer(k, 0, 0, k->width, k->height, picture.data(), 0))
    std::abort(); // the picture's own size always fits
  uint32_t largest = 0;
  for (uint32_t t = 0; t < kv::kTracks; ++t)
    largest = std::max(largest, k->header[kv::kHdrSoundSize + t]);
  std::unique_ptr<uint8_t[]> sound(new uint8_t[largest + 1]);
  const uint32_t records = std::min(k->frames + 2, kMaxRecords);
  for (uint32_t r = 0; r < records; ++r) {
    KorvaDoFrame(k);
    for (uint32_t t = 0; t < kv::kTracks; ++t) {
      const int32_t n = KorvaGetSound(k, sound.get(), kv::kTrackBit << t);
      if (n > 0 && static_cast<uint32_t>(n) > k->header[kv::kHdrSoundSize + t])
        std::abort();
    }
    KorvaNextFrame(k);
  }
  for (uint32_t f : {k->frames, 1u, k->frames / 2 + 1, 0u}) {
    KorvaGoto(k, f);
    KorvaDoFrame(k);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  (void)limited;
  vex::file::ByteSource source;
  source.open(std::span<const uint8_t>(data, size));
  if (KORVA *k = KorvaOpen(std::move(source), (size & 1) ? (1u << 22) : 0)) {
    play(k);
    KorvaClose(k);
  }
  return 0;
}

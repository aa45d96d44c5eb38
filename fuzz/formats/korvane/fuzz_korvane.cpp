// Any bytes as a Korvane movie, opened through a descriptor (and, for odd
// sizes, with a read-ahead large enough to hold every record), then every
// record decoded with every track's sound, a lap past the end, and a few
// seeks. The reader must stay inside its buffers and never hang.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "formats/korvane/korvane.h"

namespace kv = vex::formats::korvane;

namespace {

constexpr uint64_t kMaxPicture = 4u << 20; // larger pictures skip the video
constexpr uint32_t kMaxRecords = 64;

void play(KORVA *k) {
  const uint64_t pixels = uint64_t{k->width} * k->height;
  std::vector<uint8_t> picture;
  if (pixels <= kMaxPicture) {
    picture.resize(pixels);
    if (!KorvaToBuffer(k, 0, 0, k->width, k->height, picture.data(), 0))
      std::abort(); // the picture's own size always fits
  }
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
  const int fd = memfd_create("korvane", 0);
  if (fd < 0)
    return 0;
  if (write(fd, data, size) == static_cast<ssize_t>(size) && lseek(fd, 0, SEEK_SET) == 0) {
    KORVA *k = KorvaOpen(korva_handle_arg(fd), kv::kOpenByHandle, (size & 1) ? (1u << 22) : 0);
    if (k) {
      play(k);
      KorvaClose(k);
    }
  }
  close(fd);
  return 0;
}

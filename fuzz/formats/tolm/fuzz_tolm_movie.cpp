// An arbitrary Tolm movie: open, seek, play every frame with a copy each,
// seek again through key frames, close. The last input byte also picks the
// open flags (alpha, scaling mode) and the copy
// (type, bottom-up pitch). Nothing may touch memory outside a buffer, and
// every seek must end on the frame it asked for.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "file/byte_source.h"
#include "formats/tolm/tolm_reader.h"
#include "util/limits.h"

namespace {

using namespace vex::formats::tolm;

// Small pictures keep each run quick: the library's pixel limit, lowered.
const bool limited = [] {
  vex::util::lower_limits(256 * 256, 0);
  return true;
}();

void require(bool ok) {
  if (!ok)
    std::abort();
}

void copy(TOLM *t, std::vector<uint32_t> &out, uint8_t script) {
  const auto w = static_cast<int32_t>(t->output_width), h = static_cast<int32_t>(t->output_height);
  const int32_t pitch = (script & 0x40) ? -4 * w : 4 * w;
  require(TolmCopyToBuffer(t, out.data(), pitch, h, 0, 0, (script & 0x80) ? 3 : 5) == 0);
}

void seek(TOLM *t, int32_t f, uint32_t flags) {
  TolmGoto(t, f, flags);
  const int32_t frames = static_cast<int32_t>(t->frames);
  require(t->current == (f < 1 ? 1 : f > frames ? frames : f));
}

void play(TOLM *t, uint8_t script) {
  std::vector<uint32_t> out(size_t{t->output_width} * t->output_height);
  const auto frames = static_cast<int32_t>(t->frames);
  seek(t, frames / 2 + 1, 0);
  TolmDoFrame(t);
  copy(t, out, script);
  seek(t, 1, 1);
  for (int32_t f = 1; f <= frames; ++f) {
    require(t->current == f);
    TolmDoFrame(t);
    copy(t, out, script);
    const uint8_t *p;
    uint32_t n;
    for (uint32_t i = 0; i < t->tracks && i < 8; ++i)
      if (TolmGetPacket(t, i, &p, &n))
        require(p >= t->record && p + n <= t->record + t->record_size);
    TolmNextFrame(t);
  }
  require(t->current == 1);
  seek(t, frames, 0);
  seek(t, 2, 0);
  seek(t, 0, 1);
  for (uint32_t mode : {0u, 1u, 2u, 0x80u, 0x82u}) {
    const int32_t k = TolmGetKeyFrame(t, frames / 2 + 1, mode);
    require(k >= 0 && k <= frames);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  (void)limited;
  // Keep each run quick: small files.
  if (size < 1 || size > 1 << 18)
    return 0;
  const uint8_t script = data[size - 1];
  const uint32_t flags =
      0x8004000 | ((script & 1) ? kTolmOpenAlpha : 0) | (static_cast<uint32_t>(script >> 1) & 7u) << 28;
  vex::file::ByteSource source;
  source.open(std::span<const uint8_t>(data, size));
  if (TOLM *t = TolmOpen(std::move(source), flags, script & 0x20 ? 0 : -1)) {
    play(t, script);
    TolmClose(t);
  }
  return 0;
}

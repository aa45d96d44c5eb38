// Arbitrary bytes as a still image: the first byte picks the format, the
// rest is the file, read from memory as a byte source by every reader (no
// file is written). Information, then the whole picture placed into images
// of every depth; a picture that decodes must have had its information
// agree. A GIF is also read as an animation: every picture composed in
// turn, a rewind and the first ones again (screens kept small by lowering
// the library's limits for that part).
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <span>

#include "file/byte_source.h"
#include "stills/gif_animation.h"
#include "stills/still_codec.h"
#include "util/limits.h"

using namespace vex::stills;

namespace {

constexpr Format kFormats[] = {Format::bmp, Format::pcx, Format::tga, Format::png,
                               Format::jpeg, Format::tif, Format::gif};

void load_everywhere(const Picture &p) {
  for (int32_t bits : {1, 4, 8, 16, 24, 32}) {
    Image im{};
    if (StillAlloc(&im, p.info.width + 1, p.info.height, bits) == 0)
      store_picture(p, im);
    StillFree(&im);
  }
}

// The animation of a GIF: every picture, then a rewind and the first
// three again; the canvas is there once a picture was shown.
void animate(const vex::file::ByteSource &source) {
  vex::util::lower_limits(1u << 18, 1u << 24);
  GifAnimation a;
  if (a.open(source) == 0) {
    for (size_t round = 0; round < 2; ++round) {
      const size_t n = round == 0 ? a.pictures().size() : std::min<size_t>(a.pictures().size(), 3);
      for (size_t i = 0; i < n; ++i) {
        a.next();
        if (!a.pixels() || a.shown() != i + 1)
          std::abort();
      }
      a.rewind();
    }
  }
  vex::util::lower_limits(0, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  const Format f = kFormats[data[0] % 7];
  vex::file::ByteSource source;
  source.open(std::span<const uint8_t>(data + 1, size - 1));
  if (f == Format::gif)
    animate(source);
  Info info{};
  const int32_t told = StillInfo(f, source, &info);
  Picture p;
  if (read_picture(f, source, p, false) != 0)
    return 0;
  if (told != 0 || info.width != p.info.width || info.height != p.info.height)
    std::abort(); // the header said no, or other sizes, of a picture that decodes
  load_everywhere(p);
  return 0;
}

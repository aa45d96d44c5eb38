// Set-up the stills tests share: a descriptor freed on leaving, and the
// whole information-and-load of a source as the graphics source does it.
#pragma once

#include <cstdint>
#include <vector>

#include "file/byte_source.h"
#include "stills/still_image.h"

namespace stills_test {

using namespace vex::stills;

// An image freed when it goes out of scope.
struct Held : Image {
  Held() : Image{} {}
  ~Held() { StillFree(this); }
  Held(const Held &) = delete;
};

// Every byte a load leaves in the descriptor: pixels and colour table.
inline std::vector<uint8_t> image_bytes(const Image &im) {
  std::vector<uint8_t> all(im.pixels, im.pixels + im.size);
  all.insert(all.end(), im.colors, im.colors + 256 * 4);
  return all;
}

// Info, then a load into an image one column wider than the picture at
// the reported depth, as the graphics source holds it; the first non-zero
// result, or 0. `bytes` receives the loaded descriptor's bytes.
inline int32_t info_and_load(Format f, const vex::file::ByteSource &source, Info *info = nullptr,
                             std::vector<uint8_t> *bytes = nullptr) {
  Info own{};
  Info &i = info ? *info : own;
  if (const int32_t r = StillInfo(f, source, &i))
    return r;
  Held im;
  if (StillAlloc(&im, i.width + 1, i.height, i.bits))
    return kNoMemory;
  const int32_t r = StillLoad(f, source, &im);
  if (bytes && r == 0)
    *bytes = image_bytes(im);
  return r;
}

} // namespace stills_test

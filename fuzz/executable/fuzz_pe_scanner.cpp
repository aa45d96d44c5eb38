// Any bytes as an executable image in memory: the scanner follows the
// headers, the section table and the resource directory to the string
// block and the movie offset. It must stay inside the bytes, and an offset
// it gives must lie inside them.
#include <cstdint>
#include <cstdlib>

#include "executable/embedded_movie.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  vex::file::ByteSource image;
  image.open(std::span<const uint8_t>(data, size));
  const auto offset = vex::executable::embedded_movie_offset(image);
  if (offset && *offset >= size)
    std::abort();
  return 0;
}

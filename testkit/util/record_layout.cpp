#include "testkit/util/record_layout.h"

#include <algorithm>

namespace vex::testkit {

std::vector<size_t> laid_out_offsets(std::span<const FieldSize> fields) {
  std::vector<size_t> out;
  size_t at = 0, widest = 1;
  for (const FieldSize &f : fields) {
    at = (at + f.align - 1) / f.align * f.align;
    out.push_back(at);
    at += f.bytes;
    widest = std::max(widest, f.align);
  }
  out.push_back((at + widest - 1) / widest * widest);
  return out;
}

} // namespace vex::testkit

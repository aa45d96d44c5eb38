#include "testkit/movie/qts_read.h"

#include <algorithm>

namespace vex::testkit {

std::vector<uint8_t> qts_read_all(QTSFILE *qs, uint32_t piece) {
  std::vector<uint8_t> out, buf(piece);
  for (uint32_t left = qs->total_bytes; left > 0;) {
    const uint32_t n = QTSFileGet(qs, buf.data(), std::min(piece, left));
    if (n == 0)
      break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
    left -= std::min(n, left);
  }
  return out;
}

} // namespace vex::testkit

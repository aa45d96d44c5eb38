#include "testkit/audio_codec/plain_block.h"

#include <algorithm>

namespace vex::testkit {

using audio_codec::kRunGroups;

uint32_t PlainBits::get(uint32_t bits) {
  uint32_t v = 0;
  for (uint32_t k = 0; k < bits; ++k, ++at_)
    if (at_ / 8 < size_ && (data_[at_ / 8] >> (at_ % 8) & 1u))
      v |= 1u << k;
  return v;
}

namespace {

// Walks the runs from coefficient 2 to n (or the end of the bits given),
// handing each run header and each coefficient on.
template <class OnRun, class OnCoefficient>
uint64_t walk(PlainBits &b, uint32_t n, uint64_t limit, OnRun on_run, OnCoefficient on_coefficient) {
  for (uint32_t i = 2; i < n && b.at() <= limit;) {
    RunHeader r{b.get(1), 0, 0};
    uint32_t count = 8;
    if (r.flag) {
      r.code = b.get(4);
      count = kRunGroups[r.code] * 8;
    }
    count = std::min(count, n - i);
    r.width = b.get(4);
    on_run(r);
    for (uint32_t k = 0; k < count; ++k, ++i) {
      const auto mag = static_cast<int>(r.width ? b.get(r.width) : 0);
      on_coefficient(i, static_cast<int16_t>(mag != 0 && b.get(1) ? -mag : mag));
    }
  }
  return b.at();
}

} // namespace

PlainBlock plain_read(const std::vector<uint8_t> &block, uint32_t size, uint32_t n, uint32_t bands) {
  PlainBits b(block.data(), size);
  PlainBlock r;
  r.x0_bits = b.get(29);
  r.x1_bits = b.get(29);
  for (uint32_t k = 0; k < bands; ++k)
    r.c.step_code[k] = static_cast<uint8_t>(b.get(8));
  const uint64_t limit = uint64_t{size} * 8;
  walk(b, n, limit, [](const RunHeader &) {}, [&](uint32_t i, int16_t q) { r.c.q[i] = q; });
  r.complete = b.at() <= limit;
  r.used = static_cast<uint32_t>(std::min<uint64_t>((b.at() + 31) / 32 * 4, size));
  return r;
}

std::vector<RunHeader> plain_runs(const std::vector<uint8_t> &block, uint32_t n, uint32_t bands) {
  PlainBits b(block.data(), static_cast<uint32_t>(block.size()));
  b.get(29);
  b.get(29);
  for (uint32_t k = 0; k < bands; ++k)
    b.get(8);
  std::vector<RunHeader> runs;
  walk(b, n, UINT64_MAX, [&](const RunHeader &r) { runs.push_back(r); }, [](uint32_t, int16_t) {});
  return runs;
}

} // namespace vex::testkit

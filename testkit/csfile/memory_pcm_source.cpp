#include "testkit/csfile/memory_pcm_source.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace vex::testkit {

MemoryPcmSource::MemoryPcmSource(std::vector<uint8_t> pcm, const csfile::PcmFormat &format)
    : pcm_(std::move(pcm)), format_(format), input_(format), input_bytes_(static_cast<uint32_t>(pcm_.size())) {
  // Whole frames only. Erasing the tail (rather than resizing) never grows
  // the vector, which GCC's overflow check cannot tell of a resize at -O2.
  pcm_.erase(pcm_.end() - static_cast<std::ptrdiff_t>(pcm_.size() % format_.frame_bytes()), pcm_.end());
}

uint32_t MemoryPcmSource::read(std::span<uint8_t> dest) {
  const uint32_t frame = format_.frame_bytes();
  size_t n = std::min({dest.size(), pcm_.size() - pos_, size_t{std::max(read_limit_, frame)}});
  n -= n % frame;
  if (n > 0)
    std::memcpy(dest.data(), pcm_.data() + pos_, n);
  pos_ += n;
  return static_cast<uint32_t>(n);
}

void MemoryPcmSource::rewind() {
  pos_ = 0;
  ++rewinds_;
}

std::vector<uint8_t> pcm16_bytes(const Pcm &samples) {
  std::vector<uint8_t> out(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const auto v = static_cast<uint16_t>(samples[i]);
    out[2 * i] = static_cast<uint8_t>(v);
    out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  return out;
}

std::vector<uint8_t> pcm8_bytes(const Pcm &samples) {
  std::vector<uint8_t> out(samples.size());
  for (size_t i = 0; i < samples.size(); ++i)
    out[i] = static_cast<uint8_t>((static_cast<uint16_t>(samples[i]) >> 8) ^ 0x80);
  return out;
}

} // namespace vex::testkit

// A PcmSource over PCM held in memory, for driving the compressed-sound
// writer without files.
#pragma once

#include <cstdint>
#include <vector>

#include "csfile/pcm_source.h"
#include "testkit/audio_codec/test_signals.h"

namespace vex::testkit {

class MemoryPcmSource : public csfile::PcmSource {
public:
  MemoryPcmSource(std::vector<uint8_t> pcm, const csfile::PcmFormat &format);

  // At most this many bytes (rounded down to whole frames, at least one
  // frame) per read, as a source made of pieces delivers at its seams.
  void limit_reads(uint32_t bytes) { read_limit_ = bytes; }
  // Reports another source format and length (as a resampling source
  // does); the PCM delivered stays what was given.
  void report_input(const csfile::PcmFormat &format, uint32_t bytes) {
    input_ = format;
    input_bytes_ = bytes;
  }

  uint32_t read(std::span<uint8_t> dest) override;
  bool at_end() const override { return pos_ >= pcm_.size(); }
  void rewind() override;
  csfile::PcmFormat output() const override { return format_; }
  csfile::PcmFormat input() const override { return input_; }
  uint32_t input_bytes() const override { return input_bytes_; }

  uint32_t rewinds() const { return rewinds_; }

private:
  std::vector<uint8_t> pcm_;
  csfile::PcmFormat format_, input_;
  uint32_t input_bytes_;
  size_t pos_ = 0;
  uint32_t read_limit_ = 0xFFFFFFFFu;
  uint32_t rewinds_ = 0;
};

// Little-endian bytes of 16-bit samples, and 8-bit samples (unsigned, 128
// silence) made from 16-bit ones by their high byte.
std::vector<uint8_t> pcm16_bytes(const Pcm &samples);
std::vector<uint8_t> pcm8_bytes(const Pcm &samples);

} // namespace vex::testkit

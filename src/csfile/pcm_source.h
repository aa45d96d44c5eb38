// What the compressed-sound writer needs from a sound input: PCM in the
// output format, a rewind, and the length. The sound source implements it
// in one adapter; tests implement it over memory.
#pragma once

#include <cstdint>
#include <span>

struct SFILE;

namespace vex::csfile {

struct PcmFormat {
  uint32_t rate = 0;     // sample frames per second
  uint32_t bits = 16;    // 8 (unsigned, 128 = silence) or 16 (signed little-endian)
  uint32_t channels = 1; // 1, or 2 interleaved left, right

  uint32_t frame_bytes() const { return channels * bits / 8; }
};

class PcmSource {
public:
  virtual ~PcmSource() = default;

  // Copies output PCM into dest: whole output frames, as many as fit. May
  // deliver fewer bytes than asked before the end (at a seam between the
  // pieces of a source); 0 means nothing more until rewind.
  virtual uint32_t read(std::span<uint8_t> dest) = 0;
  // True when no more sound can be delivered.
  virtual bool at_end() const = 0;
  // Back to the (trimmed) start.
  virtual void rewind() = 0;

  // The format read() delivers.
  virtual PcmFormat output() const = 0;
  // The source's own format and its length after trimming, in its own bytes.
  virtual PcmFormat input() const = 0;
  virtual uint32_t input_bytes() const = 0;

  // The public record of the library's sound source behind this adapter,
  // or null for any other source.
  virtual SFILE *record() const { return nullptr; }
};

} // namespace vex::csfile

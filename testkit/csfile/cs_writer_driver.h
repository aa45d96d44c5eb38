// Drives the compressed-sound writer over an in-memory source into a file
// in a temporary folder and hands back the bytes and the record's
// counters.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "csfile/cs_writer.h"
#include "testkit/csfile/memory_pcm_source.h"

namespace vex::testkit {

struct CsFileCloser {
  void operator()(CSFILE *cs) const { CSFileClose(cs); }
};
using CsFilePtr = std::unique_ptr<CSFILE, CsFileCloser>;

struct WrittenStream {
  std::vector<uint8_t> bytes;
  CSFILE last{}; // the record's public fields after the last put
  uint32_t puts_that_wrote = 0;
  std::vector<uint32_t> chunk_pcm_bytes; // last_pcm_bytes after each put that wrote
};

// Calls CSFilePut with the sizes from `next_count` (0 from it stops) until
// three puts in a row write nothing, or max_puts calls. `prefix` bytes are
// written before the first chunk. Throws std::runtime_error when the
// writer or the file cannot be opened.
WrittenStream write_stream(std::unique_ptr<csfile::PcmSource> source, const csfile::CsOptions &options,
                           const std::function<uint32_t(uint32_t)> &next_count, uint32_t max_puts = 100000,
                           uint32_t prefix = 0);

std::unique_ptr<MemoryPcmSource> memory_source(std::vector<uint8_t> pcm, uint32_t rate, uint32_t bits,
                                               uint32_t channels);

// The writer's options by position: compression (CSFileOpen's number),
// lead-in and pass in milliseconds, filling by repeating, repeating
// forever, raw storage.
inline csfile::CsOptions cs_options(int32_t compression, int32_t lead_in = 0, int32_t pass = 0, bool fill = false,
                                    bool forever = false, bool raw = false) {
  csfile::CsOptions o;
  o.compression = compression;
  o.lead_in_ms = lead_in;
  o.pass_ms = pass;
  o.fill_repeat = fill;
  o.repeat_forever = forever;
  o.raw_storage = raw;
  return o;
}

inline std::function<uint32_t(uint32_t)> fixed_count(uint32_t bytes) {
  return [bytes](uint32_t) { return bytes; };
}

} // namespace vex::testkit

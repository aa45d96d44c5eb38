// Runs the compressed-sound writer over an in-memory source into a file in
// a temporary folder and hands back the bytes and the record's counters.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

#include "csfile/cs_writer.h"
#include "testkit/csfile/chunk_reader.h"
#include "testkit/csfile/memory_pcm_source.h"
#include "testkit/util/temp_dir.h"

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

inline std::vector<uint8_t> read_file(const std::string &name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Calls CSFilePut with the sizes from `next_count` (0 from it stops) until
// three puts in a row write nothing, or max_puts calls. `prefix` bytes are written before
// the first chunk.
inline WrittenStream write_stream(std::unique_ptr<vex::csfile::PcmSource> source,
                                  const vex::csfile::CsOptions &options,
                                  const std::function<uint32_t(uint32_t)> &next_count, uint32_t max_puts = 100000,
                                  uint32_t prefix = 0) {
  vex::testkit::TempDir dir;
  const std::string name = dir.file("chunks.bin");
  CsFilePtr cs(vex::csfile::CSFileOpenSource(std::move(source), options));
  if (!cs)
    throw std::runtime_error("CSFileOpenSource failed");
  VEXFILE *f = VEXFileCreate(4096, name.c_str());
  if (!f)
    throw std::runtime_error("cannot create " + name);
  for (uint32_t i = 0; i < prefix; ++i)
    VEXFilePut8(f, 0xEE);
  CSFileSetOutput(cs.get(), f);
  WrittenStream w;
  uint32_t idle = 0;
  for (uint32_t i = 0; i < max_puts && idle < 3; ++i) {
    const uint32_t count = next_count(i);
    if (count == 0)
      break;
    const uint32_t before = cs->total_chunk_bytes;
    CSFilePut(cs.get(), count);
    if (cs->total_chunk_bytes == before) {
      ++idle;
      continue;
    }
    idle = 0;
    ++w.puts_that_wrote;
    w.chunk_pcm_bytes.push_back(cs->last_pcm_bytes);
  }
  w.last = *cs;
  VEXFileClose(f);
  w.bytes = read_file(name);
  w.bytes.erase(w.bytes.begin(), w.bytes.begin() + prefix);
  return w;
}

inline std::unique_ptr<vex::testkit::MemoryPcmSource> memory_source(std::vector<uint8_t> pcm, uint32_t rate,
                                                                    uint32_t bits, uint32_t channels) {
  return std::make_unique<vex::testkit::MemoryPcmSource>(std::move(pcm), vex::csfile::PcmFormat{rate, bits, channels});
}

inline std::function<uint32_t(uint32_t)> fixed_count(uint32_t bytes) {
  return [bytes](uint32_t) { return bytes; };
}

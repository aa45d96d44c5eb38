#include "testkit/csfile/cs_writer_driver.h"

#include <stdexcept>

#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"

namespace vex::testkit {

WrittenStream write_stream(std::unique_ptr<csfile::PcmSource> source, const csfile::CsOptions &options,
                           const std::function<uint32_t(uint32_t)> &next_count, uint32_t max_puts, uint32_t prefix) {
  TempDir dir;
  const std::string name = dir.file("chunks.bin");
  CsFilePtr cs(csfile::CSFileOpenSource(std::move(source), options));
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

std::unique_ptr<MemoryPcmSource> memory_source(std::vector<uint8_t> pcm, uint32_t rate, uint32_t bits,
                                               uint32_t channels) {
  return std::make_unique<MemoryPcmSource>(std::move(pcm), csfile::PcmFormat{rate, bits, channels});
}

} // namespace vex::testkit

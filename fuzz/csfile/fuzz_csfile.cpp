// Any bytes as a compressed-sound chunk stream: the first byte picks
// whether the chunks are taken as raw and the rate the scan is told, the
// rest is the stream, scanned from memory. Nothing outside the input may
// be read (the input is an exact copy), and what the scan says must add up:
// the chunks tile the start of the stream, their sizes are whole frames
// within it, the summary is the sum of the list, and the list starts again
// after its end.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "vexutil/csfile.h"

namespace {

constexpr uint32_t kRates[] = {0, 8000, 11025, 22050, 44100, 48000, 16000, 1};

void check(bool ok) {
  if (!ok)
    std::abort();
}

void check_list(CSSCAN *s, size_t size) {
  uint64_t at = 0, count = 0, pcm = 0;
  CSCHUNK c;
  while (CSFileScanNext(s, &c)) {
    check(c.offset == at && c.size >= 8 && c.size % 4 == 0 && c.size <= size - at);
    check(s->coding == CSSCAN_HUFFMAN ? (c.variant & 1) != 0 && c.variant == s->variant : c.variant == 0);
    check(s->coding != CSSCAN_RAW || c.pcm_bytes == c.size - 4);
    at += c.size;
    pcm += c.pcm_bytes;
    ++count;
  }
  check(count == s->chunk_count && at == s->chunk_bytes && pcm == s->pcm_bytes);
  check(s->chunk_bytes + s->trailing == size);
  check(s->chunk_count == 0 || CSFileScanNext(s, &c) == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  const bool raw = (data[0] & 8) != 0;
  const uint32_t rate = kRates[data[0] & 7];
  const std::vector<uint8_t> stream(data + 1, data + size);
  CSSCAN *s = CSFileScanMemory(stream.data(), stream.size(), raw ? 1 : 0, rate);
  check(s != nullptr);
  check(raw ? s->coding == CSSCAN_RAW : s->coding != CSSCAN_RAW);
  check(s->coding == CSSCAN_UNKNOWN || s->coding == CSSCAN_RAW || s->chunk_count > 0);
  check(s->coding != CSSCAN_TRANSFORM || (s->bits == 16 && (s->channels == 1 || s->channels == 2)));
  check_list(s, stream.size());
  CSFileScanClose(s);
  return 0;
}

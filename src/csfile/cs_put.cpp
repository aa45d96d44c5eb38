// CSFilePut: one chunk per call, raw, Huffman deltas or transform blocks.
#include <algorithm>
#include <new>

#include "audio_codec/audio_codec.h"
#include "csfile/cs_chunk_frame.h"
#include "csfile/cs_delta_coder.h"
#include "csfile/cs_pcm_feed.h"
#include "csfile/cs_writer.h"

namespace vex::csfile {
namespace {

void count_chunk(CSFILE &cs, uint32_t pcm_bytes, uint32_t chunk_bytes) {
  cs.last_pcm_bytes = pcm_bytes;
  cs.last_chunk_bytes = chunk_bytes;
  cs.total_pcm_bytes += pcm_bytes;
  cs.total_chunk_bytes += chunk_bytes;
}

// Raw and Huffman chunks: the PCM is gathered first, so a source that
// delivers nothing leaves no chunk.
void put_plain(CsWriter &w, uint32_t count) {
  if (!w.repeat_forever)
    count = std::min(count, w.pass_left);
  if (count == 0)
    return;
  try {
    w.pcm.resize(count);
  } catch (const std::bad_alloc &) {
    return; // nothing written; the next call may ask for less
  }
  const std::span<uint8_t> pcm(w.pcm.data(), count);
  std::fill(pcm.begin(), pcm.end(), static_cast<uint8_t>(w.silence));
  const uint32_t n = feed_pcm(w, *w.pcm_source, pcm);
  if (n == 0)
    return;

  ChunkFrame frame(w.out, 1);
  if (w.raw) {
    VEXFilePut(w.out, pcm.data(), n);
  } else {
    VEXFilePut32(w.out, n);
    const std::span<HUFF *const> tables(w.huff, w.format.frame_bytes());
    write_delta_stream(w.out, tables, pcm.first(n), w.format, {w.delta_mask, w.threshold}, w.delta);
  }
  count_chunk(w, n, frame.finish());
}

// The next window's new samples, read straight into the encoder's input.
// The window is not cleared by the codec; lead-in and padding there are
// made silence like in the other chunk kinds (16-bit silence is 0).
uint32_t feed_window(CsWriter &w) {
  void *where = nullptr;
  uint32_t room = 0;
  AudioEncInput(w.encoder, &where, &room);
  const std::span<uint8_t> window(static_cast<uint8_t *>(where), room);
  std::fill(window.begin(), window.end(), uint8_t{0});
  return feed_pcm(w, *w.pcm_source, window);
}

// PCM the encoder holds that no block has accounted for yet.
uint32_t pending(const AUDIOENC &e) { return e.received - e.consumed; }

// Transform chunks: whole windows until their accounted bytes reach the
// count. The encoder accounts for a window's bytes only in the windows that
// follow (it keeps an overlap), so what is left of the pass includes what it
// holds, and the last chunk of a pass drains it.
void put_transform(CsWriter &w, uint32_t count) {
  AUDIOENC &enc = *w.encoder;
  if (!w.repeat_forever)
    count = static_cast<uint32_t>(std::min<uint64_t>(count, uint64_t{w.pass_left} + pending(enc)));
  if (count == 0)
    return;
  uint32_t placed = feed_window(w);
  if (placed == 0 && pending(enc) == 0)
    return;

  ChunkFrame frame(w.out, 2);
  uint32_t pcm_bytes = 0;
  uint32_t wanted = count;
  for (;;) {
    const uint8_t *block = nullptr;
    uint32_t size = 0, accounted = 0;
    AudioEncBlock(&enc, w.quality, placed, &block, &size, &accounted);
    VEXFilePut(w.out, block, size);
    pcm_bytes += accounted;
    if (accounted >= wanted)
      break;
    wanted -= accounted;
    placed = feed_window(w);
    if (placed == 0 && pending(enc) == 0)
      break; // the source and the encoder are both dry
  }
  count_chunk(w, pcm_bytes, frame.finish(pcm_bytes));
}

} // namespace
} // namespace vex::csfile

extern "C" void CSFilePut(CSFILE *cs, uint32_t bytes) {
  if (!cs || !cs->out)
    return;
  auto &w = static_cast<vex::csfile::CsWriter &>(*cs);
  const uint32_t frame = w.format.frame_bytes();
  uint32_t count = std::min(bytes, vex::csfile::kMaxChunkPcmBytes);
  count -= count % frame;
  if (w.encoder)
    vex::csfile::put_transform(w, count);
  else
    vex::csfile::put_plain(w, count);
}

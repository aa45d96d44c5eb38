#include "common/chunk_stream.h"

#include <algorithm>
#include <cctype>

namespace vex::tools {
namespace {

const char *variant_text(uint32_t v) {
  static const char *const kText[8] = {"", "8-bit mono", "", "8-bit stereo", "", "16-bit mono", "", "16-bit stereo"};
  return kText[v & 7];
}

// The coding line; the sample rate is never recorded, Huffman chunks give
// width and channels, transform chunks the channels (they are always
// 16-bit).
void describe_coding(std::FILE *to, const CSSCAN &s) {
  switch (s.coding) {
  case CSSCAN_HUFFMAN:
    std::fprintf(to, "  coding   Huffman-coded deltas, %s (variant %u)\n", variant_text(s.variant), s.variant);
    break;
  case CSSCAN_TRANSFORM:
    std::fprintf(to, "  coding   transform codec, 16-bit %s (the blocks decode at that channel count)\n",
                 s.channels == 2 ? "stereo" : "mono");
    break;
  case CSSCAN_RAW:
    std::fprintf(to, "  coding   raw PCM (/X): width and channels unknown, padding counted as sound\n");
    break;
  default:
    std::fprintf(to, "  coding   unknown: neither Huffman-coded deltas nor coded blocks (raw PCM? give /X)\n");
    break;
  }
}

void describe_chunks(std::FILE *to, CSSCAN &s) {
  CSCHUNK c;
  for (uint64_t i = 1; CSFileScanNext(&s, &c); ++i) {
    std::fprintf(to, "  chunk %llu at %llu: %u bytes, %u PCM bytes", static_cast<unsigned long long>(i),
                 static_cast<unsigned long long>(c.offset), c.size, c.pcm_bytes);
    if (c.variant)
      std::fprintf(to, ", variant %u (%s)", c.variant, variant_text(c.variant));
    std::fprintf(to, "\n");
  }
}

} // namespace

bool is_chunk_stream_name(const std::string &name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos)
    return false;
  std::string ext = name.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == kChunkExtension;
}

void describe_chunk_stream(std::FILE *to, CSSCAN &s, uint32_t rate, bool per_chunk) {
  std::fprintf(to, "  format   compressed sound chunks\n");
  describe_coding(to, s);
  std::fprintf(to, "  chunks   %llu\n", static_cast<unsigned long long>(s.chunk_count));
  if (s.coding == CSSCAN_UNKNOWN) {
    std::fprintf(to, "  sound    unknown PCM bytes in %llu bytes of chunks\n",
                 static_cast<unsigned long long>(s.chunk_bytes));
    return;
  }
  const uint32_t frame = s.bits / 8 * s.channels; // bytes per sample frame, 0 when not known
  const double ratio = s.chunk_bytes ? static_cast<double>(s.pcm_bytes) / static_cast<double>(s.chunk_bytes) : 0;
  std::fprintf(to, "  sound    %llu bytes of PCM in %llu bytes of chunks (ratio %.2f:1)\n",
               static_cast<unsigned long long>(s.pcm_bytes), static_cast<unsigned long long>(s.chunk_bytes), ratio);
  if (rate == 0)
    std::fprintf(to, "  rate     unknown: a chunk stream does not record it (give /R<Hz>)\n");
  else if (frame == 0)
    std::fprintf(to, "  rate     %u Hz (from /R); length unknown without the sample width\n", rate);
  else
    std::fprintf(to, "  rate     %u Hz (from /R): %llu sample frames, %.3f s\n", rate,
                 static_cast<unsigned long long>(s.pcm_bytes / frame),
                 static_cast<double>(s.pcm_bytes) / frame / rate);
  if (s.trailing)
    std::fprintf(to, "  trailing %llu bytes that are no whole chunk\n", static_cast<unsigned long long>(s.trailing));
  if (per_chunk)
    describe_chunks(to, s);
}

} // namespace vex::tools

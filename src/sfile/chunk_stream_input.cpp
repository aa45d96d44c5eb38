// Compressed-sound chunk streams (".vcs", kind 7, "Chunks"): the chunks the
// compressed-sound writer makes, scanned for their coding and decoded in
// order (sound_chunks/).
//
// A stream records neither its sample rate nor, for raw chunks, its width
// and channels, nor even that they are raw: the caller's rate (the rate
// argument) is the stream's; a transform stream without one is read at
// the rate its blocks decode at, and a raw format makes the chunks raw
// PCM of that format.
#include <algorithm>
#include <cctype>
#include <string>

#include "sfile/sound_reader.h"
#include "sound_chunks/chunk_decoder.h"
#include "util/bytes.h"

namespace vex::sfile {
namespace {

using sound_chunks::Coding;
using sound_chunks::StreamSummary;
using util::Status;

class ChunkStreamReader final : public SoundReader {
public:
  ChunkStreamReader(file::ByteSource source, const StreamSummary &stream)
      : source_(std::move(source)), decoder_(source_, stream) {}
  bool ready() const { return decoder_.ready(); }

  uint32_t refill(Source &s, uint8_t *dest, uint32_t space) override {
    for (;;) {
      const uint32_t n = decoder_.read(dest, space);
      if (n == 0) {
        if (s.damage.empty())
          s.damage = decoder_.damage();
        return 0;
      }
      if (const uint32_t kept = drop_skipped(s, dest, n))
        return kept;
    }
  }
  void rewind(Source &) override { decoder_.rewind(); }

private:
  file::ByteSource source_; // before the decoder, which reads it
  sound_chunks::ChunkDecoder decoder_;
};

bool has_chunk_extension(const std::string &name) {
  if (name.size() < 4)
    return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".vcs";
}

// A ".vcs" name whose file starts with a whole chunk.
bool is_chunk_stream(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(4);
  if (!has_chunk_extension(file.name) || head.empty())
    return false;
  const uint32_t size = util::le32(head.data());
  return size >= 8 && size % 4 == 0 && size <= file.source.size();
}

Opened refuse(const OpenArgs &a, Status status, const std::string &text) {
  report(a, status, text.c_str());
  return Opened::failed;
}

// The stream's format: the scan's, the caller's rate; raw chunks in the
// caller's raw format.
Opened take_format(Source &s, const OpenArgs &a, const StreamSummary &st) {
  const uint32_t given = a.rate > 0 ? static_cast<uint32_t>(a.rate) : 0;
  switch (st.coding) {
  case Coding::raw: {
    const auto format = static_cast<uint32_t>(a.raw_format);
    s.source_rate = format >> 3;
    s.source_channels = (format & 1) ? 2 : 1;
    s.source_bits = (format & 2) ? 16 : 8;
    if (s.source_rate == 0)
      return refuse(a, Status::kInvalidArgument, "The raw sound format gives no sample rate.");
    return Opened::accepted;
  }
  case Coding::huffman:
    if (given == 0)
      return refuse(a, Status::kInvalidArgument,
                    "the chunk stream does not record its sample rate: give the rate it was made at");
    s.source_rate = given;
    break;
  case Coding::transform:
    if (given != 0 && st.rate != given)
      return refuse(a, Status::kDamaged,
                    "the chunk stream's transform blocks do not decode at " + std::to_string(given) +
                        " Hz (they do at " + std::to_string(st.rate) + " Hz)");
    s.source_rate = st.rate;
    break;
  default:
    return refuse(a, Status::kUnsupported,
                  "the chunk stream holds neither Huffman-coded deltas nor transform blocks (raw chunks need a "
                  "raw format)");
  }
  s.source_channels = st.channels;
  s.source_bits = st.bits;
  return Opened::accepted;
}

Opened open_chunks(Source &s, const OpenArgs &a, const lists::InputFile &file) {
  StreamSummary st;
  sound_chunks::ChunkWalk walk(file.source);
  if (!walk.ready() || !scan_stream(walk, a.raw_format != 0, a.rate > 0 ? static_cast<uint32_t>(a.rate) : 0, st))
    return refuse(a, util::last_status(), util::last_reason());
  if (const Opened r = take_format(s, a, st); r != Opened::accepted)
    return r;
  auto reader = std::make_unique<ChunkStreamReader>(file.source, st);
  if (!reader->ready())
    return refuse(a, util::last_status(), util::last_reason());
  s.reader = std::move(reader);
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  const uint64_t whole = std::min<uint64_t>(st.pcm_bytes, UINT32_MAX);
  s.total = static_cast<uint32_t>(whole - whole % s.source_frame_bytes);
  if (st.trailing != 0)
    s.damage = "after chunk " + std::to_string(st.chunk_count) + ", " + std::to_string(st.trailing) +
               " bytes are no whole chunk";
  s.buffer_size = kFileBufferBytes;
  s.kind = kChunks;
  copy_text(s.type, sizeof s.type, "Chunks");
  copy_text(s.name, sizeof s.name, file.name.c_str());
  return Opened::accepted;
}

} // namespace

const SoundRow kChunkStreamRow{nullptr, is_chunk_stream, open_chunks};

} // namespace vex::sfile

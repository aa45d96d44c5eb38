#include "testkit/formats/korvane/korvane_sound_coder.h"

#include <array>
#include <memory>

#include "testkit/formats/korvane/korvane_scratch.h"
#include "util/bytes.h"
#include "vexutil/huff.h"

namespace vex::testkit::korvane {

namespace {

uint32_t sample_at(const Bytes &pcm, size_t i, bool sixteen) { return sixteen ? util::le16(&pcm[2 * i]) : pcm[i]; }

} // namespace

void put32(Bytes &b, uint32_t v) { util::append_le32(b, v); }

Bytes raw_chunk(const Bytes &pcm) {
  Bytes c;
  put32(c, static_cast<uint32_t>(pcm.size() + 4));
  c.insert(c.end(), pcm.begin(), pcm.end());
  return c;
}

Bytes delta_chunk(const Bytes &pcm, bool stereo, bool sixteen, const std::string &scratch) {
  const uint32_t channels = stereo ? 2 : 1, width = sixteen ? 2 : 1;
  const size_t frames = pcm.size() / (channels * width);
  const uint32_t streams = channels * width;
  ScratchBits bits(scratch);
  if (!bits.ok() || frames == 0)
    return {};
  VEXFILE *f = bits.file();
  std::array<HuffPtr, 4> huff;
  for (uint32_t s = 0; s < streams; ++s) {
    huff[s].reset(HuffOpen(1));
    if (!huff[s])
      return {};
    HuffSetOutput(huff[s].get(), f);
    HuffInitStats(huff[s].get());
  }
  // Delta symbols in stream order: per sample frame, per channel, low then
  // high byte of a 16-bit delta.
  std::vector<std::pair<uint32_t, uint32_t>> symbols;
  for (size_t i = 1; i < frames; ++i)
    for (uint32_t c = 0; c < channels; ++c) {
      const uint32_t d = sample_at(pcm, i * channels + c, sixteen) - sample_at(pcm, (i - 1) * channels + c, sixteen);
      if (sixteen) {
        symbols.emplace_back(2 * c, d & 0xFF);
        symbols.emplace_back(2 * c + 1, d >> 8 & 0xFF);
      } else {
        symbols.emplace_back(c, d & 0xFF);
      }
    }
  for (const auto &[s, v] : symbols)
    HuffAddStat(huff[s].get(), v);
  if (frames == 1) // a stream with no delta still carries a tree
    for (uint32_t s = 0; s < streams; ++s)
      HuffAddStat(huff[s].get(), 0);
  VEXFilePutBits(f, 1, 1); // data present
  VEXFilePutBits(f, stereo ? 1 : 0, 1);
  VEXFilePutBits(f, sixteen ? 1 : 0, 1);
  for (uint32_t s = 0; s < streams; ++s)
    if (HuffStartEncode(huff[s].get()) < 0)
      return {};
  // Starting samples: right channel first, 16-bit values high byte first.
  for (uint32_t n = 0; n < channels; ++n) {
    const uint32_t c = channels - 1 - n;
    const uint32_t v = sample_at(pcm, c, sixteen);
    if (sixteen)
      VEXFilePutBits(f, v >> 8, 8);
    VEXFilePutBits(f, v & 0xFF, 8);
  }
  for (const auto &[s, v] : symbols)
    HuffEncode(huff[s].get(), v);
  const Bytes data = bits.bytes();
  Bytes c;
  put32(c, static_cast<uint32_t>(data.size() + 8));
  put32(c, static_cast<uint32_t>(frames * channels * width));
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

Bytes transform_chunk(const std::vector<Bytes> &blocks, uint32_t decoded) {
  Bytes body;
  for (const auto &b : blocks)
    body.insert(body.end(), b.begin(), b.end());
  Bytes c;
  put32(c, static_cast<uint32_t>(body.size() + 8));
  put32(c, decoded);
  c.insert(c.end(), body.begin(), body.end());
  return c;
}

} // namespace vex::testkit::korvane

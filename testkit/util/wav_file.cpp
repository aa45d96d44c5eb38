#include "testkit/util/wav_file.h"

#include <stdexcept>

namespace vex::testkit {

WavChunk fmt_chunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t extra) {
  WavChunk c{"fmt ", {}};
  const uint32_t align = channels * ((bits + 7u) / 8u);
  append_le16(c.body, tag);
  append_le16(c.body, channels);
  append_le32(c.body, rate);
  append_le32(c.body, rate * align);
  append_le16(c.body, align);
  append_le16(c.body, bits);
  if (extra >= 2)
    append_le16(c.body, extra - 2);
  while (c.body.size() < 16 + extra)
    c.body.push_back(0);
  return c;
}

WavChunk data_chunk(std::vector<uint8_t> pcm) { return WavChunk{"data", std::move(pcm)}; }

std::vector<uint8_t> wav_bytes(const std::vector<WavChunk> &chunks) {
  std::vector<uint8_t> body{'W', 'A', 'V', 'E'};
  for (const WavChunk &c : chunks) {
    if (c.id.size() != 4)
      throw std::invalid_argument("chunk names have four characters");
    body.insert(body.end(), c.id.begin(), c.id.end());
    append_le32(body, c.size >= 0 ? static_cast<uint32_t>(c.size) : static_cast<uint32_t>(c.body.size()));
    body.insert(body.end(), c.body.begin(), c.body.end());
    if (c.pad && c.body.size() % 2)
      body.push_back(0);
  }
  std::vector<uint8_t> out{'R', 'I', 'F', 'F'};
  append_le32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> pcm_wav(uint32_t rate, uint16_t bits, uint16_t channels, const std::vector<uint8_t> &pcm) {
  return wav_bytes({fmt_chunk(1, channels, rate, bits), data_chunk(pcm)});
}

std::vector<uint8_t> pcm_bytes(const std::vector<int16_t> &samples) {
  std::vector<uint8_t> out;
  out.reserve(samples.size() * 2);
  for (int16_t s : samples)
    append_le16(out, static_cast<uint16_t>(s));
  return out;
}

std::vector<int16_t> pcm_samples(const std::vector<uint8_t> &bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return out;
}

} // namespace vex::testkit

// WAV files for tests, chunk by chunk: any chunks in any order, odd sizes
// with or without the pad byte, sizes that lie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/util/file_bytes.h"

namespace vex::testkit {

struct WavChunk {
  std::string id;            // four characters
  std::vector<uint8_t> body;
  bool pad = true;           // add the pad byte after an odd body
  int64_t size = -1;         // the size word written; -1: the body's size
};

// "fmt " with a format tag, channels, rate, bits (block align and byte rate
// derived), and `extra` zero bytes after the 16 standard ones (with the
// 16-bit extension size word first when extra >= 2).
WavChunk fmt_chunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t extra = 0);
WavChunk data_chunk(std::vector<uint8_t> pcm);

// "RIFF", the size of what follows, "WAVE", then the chunks.
std::vector<uint8_t> wav_bytes(const std::vector<WavChunk> &chunks);
// A plain PCM WAV file.
std::vector<uint8_t> pcm_wav(uint32_t rate, uint16_t bits, uint16_t channels, const std::vector<uint8_t> &pcm);

// 16-bit samples as little-endian bytes, and back.
std::vector<uint8_t> pcm_bytes(const std::vector<int16_t> &samples);
std::vector<int16_t> pcm_samples(const std::vector<uint8_t> &bytes);

} // namespace vex::testkit

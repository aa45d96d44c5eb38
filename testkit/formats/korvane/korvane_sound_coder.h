// Sound chunks for the testkit's Korvane writer: raw PCM, delta-coded PCM
// (trees from the library's Huffman encoder) and blocks of the library's
// transform codec.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit::korvane {

using Bytes = std::vector<uint8_t>;

// The whole chunk: length word, body.
Bytes raw_chunk(const Bytes &pcm);
// Length word, decoded size, the coded bits. Empty when the encoder fails.
Bytes delta_chunk(const Bytes &pcm, bool stereo, bool sixteen, const std::string &scratch);
// Length word, decoded size, the blocks.
Bytes transform_chunk(const std::vector<Bytes> &blocks, uint32_t decoded);

void put32(Bytes &b, uint32_t v);

} // namespace vex::testkit::korvane

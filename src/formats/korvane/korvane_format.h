// The Korvane movie format (".kvn") as the reader and the testkit's writer
// both see it: the header words, the magic numbers, the flag and sound
// format bits, and the fixed tables of the video coding.
//
// File layout (little-endian):
//   header, 26 32-bit words (see HeaderWord);
//   frame-size table, (frames + ring) words: bits 2-31 the record size in
//     bytes, bits 0-1 flags;
//   frame-type table, one byte per frame: bit 0 = palette chunk, bit k
//     (1..7) = a chunk for sound track k - 1;
//   the packed tree block (header word kHdrTreeBytes bytes);
//   the frame records back to back.
#pragma once

#include <array>
#include <cstdint>

namespace vex::formats::korvane {

inline constexpr uint32_t kHeaderWords = 26;
inline constexpr uint32_t kHeaderBytes = kHeaderWords * 4;
inline constexpr uint32_t kMagic2 = 0x324E564B; // "KVN2" as a little-endian word
inline constexpr uint32_t kMagic4 = 0x344E564B; // "KVN4"
inline constexpr uint32_t kTracks = 7;

// Header words.
enum HeaderWord : uint32_t {
  kHdrMagic = 0,
  kHdrWidth = 1,
  kHdrHeight = 2, // the stored height; the reported height doubles with a vertical mode
  kHdrFrames = 3,
  kHdrSpeed = 4,       // >0 ms per frame, <0 minus the period in 10 us units, 0 unspecified
  kHdrFlags = 5,       // bit 0 ring frame; bits 1-2 vertical mode (2 interlaced, 4 doubled)
  kHdrSoundSize = 6,   // 7 words: largest decoded sound of one frame, per track
  kHdrTreeBytes = 13,  // size of the packed tree block
  kHdrTreeSizes = 14,  // 4 words: unpacked sizes (informative, not trusted)
  kHdrSoundFormat = 18 // 7 words: sound format per track
};

// Header flags word.
inline constexpr uint32_t kFlagRing = 1;
inline constexpr uint32_t kVerticalMask = 6;
inline constexpr uint32_t kInterlaced = 2; // vertical modes (flags & kVerticalMask)
inline constexpr uint32_t kDoubled = 4;

// Frame-size table: the low bits are flags, not size.
inline constexpr uint32_t kSizeFlagBits = 3;
// Frame-type byte: the palette chunk, then one bit per sound track.
inline constexpr uint8_t kTypePalette = 1;
constexpr uint8_t type_sound_bit(uint32_t track) { return static_cast<uint8_t>(2u << track); }

// Sound format word.
inline constexpr uint32_t kRateMask = 0x00FFFFFF;
inline constexpr uint32_t kSoundTransform = 1u << 27;
inline constexpr uint32_t kSoundStereo = 1u << 28;
inline constexpr uint32_t kSound16Bit = 1u << 29;
inline constexpr uint32_t kSoundCompressed = 1u << 31;

// Kinds of 4x4 block in the video data.
enum BlockType : uint32_t { kMono = 0, kFull = 1, kVoid = 2, kSolid = 3 };

// Blocks covered by a type symbol's run, by its run index.
inline constexpr std::array<uint16_t, 64> kRunLength = [] {
  std::array<uint16_t, 64> r{};
  for (uint16_t i = 0; i < 59; ++i)
    r[i] = static_cast<uint16_t>(i + 1);
  r[59] = 128;
  r[60] = 256;
  r[61] = 512;
  r[62] = 1024;
  r[63] = 2048;
  return r;
}();

} // namespace vex::formats::korvane

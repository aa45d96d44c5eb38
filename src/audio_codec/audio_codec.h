// The perceptual transform codec for 16-bit PCM (internal to the library).
//
// The encoder cuts the sound into windows of N interleaved samples that
// overlap by V = N/16, transforms each window with the real DFT, computes a
// masking threshold per critical band, picks one quantiser step per band so
// that the quantisation noise stays under it, and writes one self-contained
// block per window (layout in audio/block_layout.h). The decoder reverses
// this and cross-fades the first V samples of each block with the last V of
// the block before.
//
// Driving the encoder: AudioEncInput tells where the next samples go and how
// many bytes fit; the caller places up to that many and calls AudioEncBlock
// with the count actually placed; repeat until the bytes accounted add up to
// the sound's length (windows after the source ran dry are coded with 0
// bytes placed). Driving the decoder: AudioDecBlock once per block, in
// stream order, from the first block on.
#pragma once

#include <cstdint>

#include "audio_codec/codec_geometry.h"
#include "audio_codec/rdft.h"

extern "C" {

struct AUDIOENC {
  uint32_t n;          // window length (interleaved samples)
  uint32_t channels;   // 1 or 2
  float forward_scale; // 1/sqrt(n)
  uint32_t overlap;    // V
  int16_t input[vex::audio_codec::kMaxWindow]; // the window being filled; first V samples kept from the last
  uint8_t output[vex::audio_codec::max_block_bytes(vex::audio_codec::kMaxWindow)]; // the last coded block
  int32_t first_window;
  uint32_t bands;
  uint32_t consumed; // bytes accounted so far
  uint32_t received; // bytes placed so far
  uint32_t edge[vex::audio_codec::kMaxBands + 1];
  float normaliser[vex::audio_codec::kMaxBands]; // 1 / sum over bands j of s(j - b)
  float previous_step[vex::audio_codec::kMaxBands];
  // Per band, from the last window coded (read by tests and tools): the
  // allowed noise energy, the step the search found (before smoothing) and
  // the step the coefficients were quantised with.
  float last_threshold[vex::audio_codec::kMaxBands];
  float last_found[vex::audio_codec::kMaxBands];
  float last_step[vex::audio_codec::kMaxBands];
  vex::audio_codec::RdftTables tables;
};

struct AUDIODEC {
  uint32_t n;
  float output_scale; // 2/sqrt(n)
  uint32_t overlap;
  int16_t output[vex::audio_codec::kMaxWindow]; // the last decoded window
  int32_t first_block;
  uint32_t bands;
  uint32_t edge[vex::audio_codec::kMaxBands + 1];
  vex::audio_codec::RdftTables tables;
  int16_t tail[vex::audio_codec::kMaxWindow / 16]; // the last V samples of the block before
};

// Geometry from the rate in Hz and the channel count (1 or 2). Null when
// the record cannot be allocated.
AUDIOENC *AudioEncOpen(uint32_t rate, uint32_t channels);

// Where the next samples go and how many bytes fit: the whole window (N * 2
// bytes) for the first, then (N - V) * 2 bytes behind the kept overlap.
void AudioEncInput(AUDIOENC *enc, void **where, uint32_t *bytes);

// Codes one window. quality 0-99 (higher is finer; above 99 counts as 99);
// placed = bytes the caller put at AudioEncInput's pointer (more than fit
// counts as what fits). *block points into the record, valid until the next
// call; *size is a multiple of 4; *accounted is how many bytes of the
// caller's PCM this block stands for.
void AudioEncBlock(AUDIOENC *enc, uint32_t quality, uint32_t placed, const uint8_t **block, uint32_t *size,
                   uint32_t *accounted);

// flag: every caller passes 1; it has no effect.
AUDIODEC *AudioDecOpen(uint32_t rate, uint32_t channels, uint32_t flag);

// Decodes one block from at most `available` bytes at `block` (the packet
// length the container gives; no byte past it is read). *pcm receives the
// record's output buffer and *pcm_bytes (N - V) * 2; *next the address
// behind the block (whole 32-bit words, never past the packet). Returns 1
// when the block was complete within `available`, 0 when it needed more
// (the missing bits read as 0; the PCM is still produced and the stream
// state advances).
int32_t AudioDecBlock(AUDIODEC *dec, const int16_t **pcm, uint32_t *pcm_bytes, const uint8_t *block,
                      uint32_t available, const uint8_t **next);

// Frees an encoder or a decoder record (null is fine).
void AudioCodecFree(void *record);

} // extern "C"

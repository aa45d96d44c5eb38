// Layout of one coded sound block:
//
//   X[0] as a 29-bit number           29 bits
//   X[1] as a 29-bit number           29 bits
//   step code of each band            8 bits per band, band 0 first
//   runs of coefficient groups        until the coefficients reach n
//   zero padding                      to a 32-bit boundary
//
// Coefficients q[2 .. n-1] go in groups of 8 (the last has 6). One run:
//   long-run flag (1 bit): 0 = one group; 1 = a 4-bit run code c follows
//   and the run is kRunGroups[c] groups, cut at n
//   width w (4 bits): bits per magnitude
//   per coefficient when w > 0: w bits of magnitude, then a sign bit
//   (1 = negative) only when the magnitude is not 0
//
// 29-bit number: bits 0-4 exponent e, bits 5-27 mantissa m, bit 28 sign;
// the value is m * 2^(e - 23).
#pragma once

#include <cstdint>

#include "audio_codec/codec_geometry.h"

namespace vex::audio_codec {

struct BlockContent {
  float x0, x1;                 // the two real transform values
  uint8_t step_code[kMaxBands]; // per band
  int16_t q[kMaxWindow];        // quantised coefficients; q[0] and q[1] unused
};

uint32_t encode_29(float x);
float decode_29(uint32_t bits);

// Bit length of the largest magnitude in each group of 8 of q[2 .. n-1].
void group_widths(const int16_t *q, uint32_t n, uint8_t *widths);

// Writes the block for a window of n values and `bands` step codes into
// out (room for max_block_bytes(n)); returns its size in bytes.
uint32_t write_block(const BlockContent &c, uint32_t n, uint32_t bands, uint8_t *out);

// Reads a block of at most `size` bytes. Returns the bytes it occupies
// (whole words, at most size); *complete is false when the block needed
// more bits than the size holds (the missing bits read as 0).
uint32_t read_block(const uint8_t *data, uint32_t size, uint32_t n, uint32_t bands, BlockContent &c, bool *complete);

} // namespace vex::audio_codec

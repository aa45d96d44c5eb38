// Mixed streams of bit fields, byte values, byte runs and alignments for
// the buffered-file tests: a list of steps that drives the writer, and a
// model of the bytes those steps must give, built one bit at a time
// (least significant bit first: the first bit is bit 0 of the first byte)
// with no code of the library.
#pragma once

#include <cstdint>
#include <vector>

#include "vexutil/file.h"

namespace vex::testkit {

struct BitOp {
  enum Kind { bits, u8, u16, u32, bytes, byte_align, align } kind;
  uint32_t value;
  unsigned width; // bits, or byte count for `bytes`, or the multiple for `align`
};

// `count` steps drawn from seed: mostly bit fields of 1..32 bits, some
// values, byte runs of 1..40 and alignments.
std::vector<BitOp> random_bit_ops(uint32_t seed, size_t count);
// The bytes of a `bytes` step.
std::vector<uint8_t> bit_op_payload(const BitOp &op);
// The value a field step reads back: its value cut to its width.
uint32_t bit_op_value(const BitOp &op);
// The steps through the VEXFILE calls; returns false when a byte run was
// taken short.
bool write_bit_ops(VEXFILE *f, const std::vector<BitOp> &ops);
// What the file must hold after the steps and the close (which pads the
// bits held with zeros).
std::vector<uint8_t> model_bit_ops(const std::vector<BitOp> &ops);

} // namespace vex::testkit

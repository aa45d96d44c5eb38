#include "testkit/file/bit_ops.h"

#include <random>

namespace vex::testkit {

namespace {

class BitModel {
public:
  void put(uint64_t v, unsigned width) {
    for (unsigned i = 0; i < width; ++i) {
      if (bits_ % 8 == 0)
        bytes_.push_back(0);
      bytes_.back() = static_cast<uint8_t>(bytes_.back() | ((v >> i) & 1u) << (bits_ % 8));
      ++bits_;
    }
  }
  void align_byte() { put(0, (8 - bits_ % 8) % 8); }
  void align_to(uint32_t multiple) {
    align_byte();
    while (multiple > 1 && bytes_.size() % multiple != 0)
      put(0, 8);
  }
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

} // namespace

std::vector<BitOp> random_bit_ops(uint32_t seed, size_t count) {
  std::mt19937 rng(seed);
  std::vector<BitOp> ops;
  for (size_t i = 0; i < count; ++i) {
    const auto pick = rng() % 100;
    const uint32_t v = rng();
    if (pick < 70)
      ops.push_back({BitOp::bits, v, 1 + static_cast<unsigned>(rng() % 32)});
    else if (pick < 76)
      ops.push_back({BitOp::u8, v & 0xFF, 8});
    else if (pick < 82)
      ops.push_back({BitOp::u16, v & 0xFFFF, 16});
    else if (pick < 88)
      ops.push_back({BitOp::u32, v, 32});
    else if (pick < 95)
      ops.push_back({BitOp::bytes, v, 1 + static_cast<unsigned>(rng() % 40)});
    else if (pick < 98)
      ops.push_back({BitOp::byte_align, 0, 0});
    else
      ops.push_back({BitOp::align, 0, 2 + static_cast<unsigned>(rng() % 7)});
  }
  return ops;
}

std::vector<uint8_t> bit_op_payload(const BitOp &op) {
  std::vector<uint8_t> b(op.width);
  for (unsigned i = 0; i < op.width; ++i)
    b[i] = static_cast<uint8_t>(op.value * 2654435761u >> (i % 24));
  return b;
}

uint32_t bit_op_value(const BitOp &op) { return op.width >= 32 ? op.value : op.value & ((1u << op.width) - 1u); }

bool write_bit_ops(VEXFILE *f, const std::vector<BitOp> &ops) {
  bool whole = true;
  for (const BitOp &op : ops) {
    switch (op.kind) {
    case BitOp::bits: VEXFilePutBits(f, op.value, op.width); break;
    case BitOp::u8: VEXFilePut8(f, op.value); break;
    case BitOp::u16: VEXFilePut16(f, op.value); break;
    case BitOp::u32: VEXFilePut32(f, op.value); break;
    case BitOp::bytes: {
      const auto b = bit_op_payload(op);
      whole = VEXFilePut(f, b.data(), op.width) == op.width && whole;
      break;
    }
    case BitOp::byte_align: VEXFileByteAlign(f); break;
    case BitOp::align: VEXFileAlign(f, op.width); break;
    }
  }
  return whole;
}

std::vector<uint8_t> model_bit_ops(const std::vector<BitOp> &ops) {
  BitModel m;
  for (const BitOp &op : ops) {
    switch (op.kind) {
    case BitOp::bits:
    case BitOp::u8:
    case BitOp::u16:
    case BitOp::u32: m.put(bit_op_value(op), op.width); break;
    case BitOp::bytes:
      for (uint8_t b : bit_op_payload(op))
        m.put(b, 8);
      break;
    case BitOp::byte_align: m.align_byte(); break;
    case BitOp::align: m.align_to(op.width); break;
    }
  }
  m.align_byte();
  return m.bytes_;
}

} // namespace vex::testkit

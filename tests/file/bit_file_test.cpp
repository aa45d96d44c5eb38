#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "file_test_util.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/file.h"

namespace {

using vex::test::BitModel;
using vex::test::read_file;

uint32_t mask(unsigned w) { return w == 32 ? 0xFFFFFFFFu : (1u << w) - 1u; }

// One step of a mixed stream: a bit field, a byte-aligned transfer, or an
// alignment. The same list drives the writer, the model and the reader.
struct Op {
  enum Kind { bits, u8, u16, u32, bytes, byte_align, align } kind;
  uint32_t value;
  unsigned width; // bits, or byte count for `bytes`, or the multiple for `align`
};

std::vector<Op> random_ops(uint32_t seed, size_t count) {
  std::mt19937 rng(seed);
  std::vector<Op> ops;
  for (size_t i = 0; i < count; ++i) {
    const auto pick = rng() % 100;
    const uint32_t v = rng();
    if (pick < 70)
      ops.push_back({Op::bits, v, 1 + static_cast<unsigned>(rng() % 32)});
    else if (pick < 76)
      ops.push_back({Op::u8, v & 0xFF, 8});
    else if (pick < 82)
      ops.push_back({Op::u16, v & 0xFFFF, 16});
    else if (pick < 88)
      ops.push_back({Op::u32, v, 32});
    else if (pick < 95)
      ops.push_back({Op::bytes, v, 1 + static_cast<unsigned>(rng() % 40)});
    else if (pick < 98)
      ops.push_back({Op::byte_align, 0, 0});
    else
      ops.push_back({Op::align, 0, 2 + static_cast<unsigned>(rng() % 7)});
  }
  return ops;
}

std::vector<uint8_t> payload(const Op &op) {
  std::vector<uint8_t> b(op.width);
  for (unsigned i = 0; i < op.width; ++i)
    b[i] = static_cast<uint8_t>(op.value * 2654435761u >> (i % 24));
  return b;
}

void write_ops(VEXFILE *f, const std::vector<Op> &ops) {
  for (const Op &op : ops) {
    switch (op.kind) {
    case Op::bits: VEXFilePutBits(f, op.value, op.width); break;
    case Op::u8: VEXFilePut8(f, op.value); break;
    case Op::u16: VEXFilePut16(f, op.value); break;
    case Op::u32: VEXFilePut32(f, op.value); break;
    case Op::bytes: {
      const auto b = payload(op);
      EXPECT_EQ(VEXFilePut(f, b.data(), op.width), op.width);
      break;
    }
    case Op::byte_align: VEXFileByteAlign(f); break;
    case Op::align: VEXFileAlign(f, op.width); break;
    }
  }
}

BitModel model_ops(const std::vector<Op> &ops) {
  BitModel m;
  for (const Op &op : ops) {
    switch (op.kind) {
    case Op::bits: m.put(op.value & mask(op.width), op.width); break;
    case Op::u8:
    case Op::u16:
    case Op::u32: m.put(op.value, op.width); break;
    case Op::bytes:
      for (uint8_t b : payload(op))
        m.put(b, 8);
      break;
    case Op::byte_align: m.align_byte(); break;
    case Op::align: m.align_to(op.width); break;
    }
  }
  m.align_byte(); // closing pads the held bits with zeros
  return m;
}

void read_ops(VEXFILE *f, const std::vector<Op> &ops) {
  size_t i = 0;
  for (const Op &op : ops) {
    SCOPED_TRACE(testing::Message() << "op " << i++ << " kind " << op.kind << " width " << op.width);
    switch (op.kind) {
    case Op::bits: ASSERT_EQ(VEXFileGetBits(f, op.width), op.value & mask(op.width)); break;
    case Op::u8: ASSERT_EQ(VEXFileGet8(f), op.value); break;
    case Op::u16: ASSERT_EQ(VEXFileGet16(f), op.value); break;
    case Op::u32: ASSERT_EQ(VEXFileGet32(f), op.value); break;
    case Op::bytes: {
      std::vector<uint8_t> got(op.width);
      ASSERT_EQ(VEXFileGet(f, got.data(), op.width), op.width);
      ASSERT_EQ(got, payload(op));
      break;
    }
    case Op::byte_align: VEXFileByteAlign(f); break;
    case Op::align: VEXFileAlign(f, op.width); break;
    }
  }
}

class BitRoundTrip : public testing::TestWithParam<int32_t> {};

// Mixed streams through every buffer size, the unbuffered file and buffers
// that split every value: the bytes on disk must equal an independent
// LSB-first model, and reading back with another buffer size gives the values.
TEST_P(BitRoundTrip, MixedStreamsMatchTheModelAndReadBack) {
  vex::testkit::TempDir tmp;
  const std::string name = tmp.file("bits.bin");
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    const auto ops = random_ops(seed, 3000);
    VEXFILE *f = VEXFileCreate(GetParam(), name.c_str());
    ASSERT_NE(f, nullptr);
    write_ops(f, ops);
    EXPECT_EQ(f->write_error, 0);
    VEXFileClose(f);
    ASSERT_EQ(read_file(name), model_ops(ops).bytes()) << "seed " << seed;
    for (int32_t read_size : {0, 3, 4096}) {
      VEXFILE *r = VEXFileOpen(read_size, name.c_str(), VEXFILE_READ);
      ASSERT_NE(r, nullptr);
      read_ops(r, ops);
      VEXFileClose(r);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, BitRoundTrip, testing::Values(0, 1, 2, 5, 7, 64, 4096, -13),
                         [](const auto &info) {
                           return (info.param < 0 ? "minus" : "bytes") + std::to_string(std::abs(info.param));
                         });

// Every width 1..32 at every starting bit offset 0..7.
TEST(BitFields, EveryWidthAtEveryOffset) {
  vex::testkit::TempDir tmp;
  const std::string name = tmp.file("w.bin");
  std::vector<Op> ops;
  for (unsigned offset = 0; offset < 8; ++offset)
    for (unsigned w = 1; w <= 32; ++w) {
      ops.push_back({Op::byte_align, 0, 0});
      if (offset)
        ops.push_back({Op::bits, 0x55, offset});
      ops.push_back({Op::bits, 0xDEADBEEFu ^ (w * 0x01010101u), w});
      ops.push_back({Op::bits, 0xFFFFFFFFu, w}); // all ones next to it
    }
  VEXFILE *f = VEXFileCreate(11, name.c_str());
  write_ops(f, ops);
  VEXFileClose(f);
  EXPECT_EQ(read_file(name), model_ops(ops).bytes());
  VEXFILE *r = VEXFileOpen(11, name.c_str(), VEXFILE_READ);
  read_ops(r, ops);
  VEXFileClose(r);
}

TEST(BitFields, HandWorkedExamples) {
  vex::testkit::TempDir tmp;
  const std::string name = tmp.file("h.bin");
  VEXFILE *f = VEXFileCreate(64, name.c_str());
  VEXFilePutBits(f, 5, 3);
  const uint8_t ab = 0xAB;
  VEXFilePut(f, &ab, 1);
  EXPECT_EQ(f->held_byte, 0x05u); // 0xAB >> 5
  EXPECT_EQ(VEXFileBitPos(f), 3u);
  VEXFileClose(f);
  EXPECT_EQ(read_file(name), (std::vector<uint8_t>{0x5D, 0x05}));

  vex::test::write_file(name, {0x34, 0x12});
  VEXFILE *r = VEXFileOpen(64, name.c_str(), VEXFILE_READ);
  EXPECT_EQ(VEXFileGetBits(r, 12), 0x234u);
  EXPECT_EQ(VEXFileBitPos(r), 4u);
  EXPECT_EQ(VEXFileGetPos(r), 1u); // the half-read byte counts as unread
  EXPECT_EQ(VEXFileGetBits(r, 0), 0u);
  EXPECT_EQ(VEXFileGetBits(r, 33), 1u); // 33 reads as 1: bit 4 of 0x12
  VEXFileClose(r);
}

TEST(BitFields, ReadsPastTheEndGiveZeroBitsAndStop) {
  vex::testkit::TempDir tmp;
  const std::string name = tmp.file("e.bin");
  vex::test::write_file(name, {0xFF});
  VEXFILE *r = VEXFileOpen(4, name.c_str(), VEXFILE_READ);
  EXPECT_EQ(VEXFileGetBits(r, 4), 0xFu);
  // Straddling the end, the value is not defined (bits of the held byte
  // may repeat); after that, missing bits read as zeros and nothing blocks.
  VEXFileGetBits(r, 8);
  VEXFileGetBits(r, 13);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(VEXFileGetBits(r, 13), 0u);
  EXPECT_EQ(VEXFileAtEnd(r), 1);
  VEXFileClose(r);
}

TEST(BitFields, SeekClearsPendingBits) {
  vex::testkit::TempDir tmp;
  const std::string name = tmp.file("s.bin");
  vex::test::write_file(name, {0x0F, 0xF0, 0xAA, 0x55});
  VEXFILE *r = VEXFileOpen(16, name.c_str(), VEXFILE_READ);
  EXPECT_EQ(VEXFileGetBits(r, 4), 0xFu);
  EXPECT_EQ(VEXFileSetPos(r, 2), 0u); // returns where it was
  EXPECT_EQ(VEXFileBitPos(r), 0u);
  EXPECT_EQ(VEXFileGetBits(r, 8), 0xAAu);
  VEXFileSetPos(r, 0);
  EXPECT_EQ(VEXFileGetBits(r, 16), 0xF00Fu);
  VEXFileClose(r);
}

} // namespace

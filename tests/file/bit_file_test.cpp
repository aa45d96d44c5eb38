// Bit fields and byte values through the buffered file against the
// testkit's bit-at-a-time model of the bytes, and read back.
#include <gtest/gtest.h>

#include "testkit/file/bit_ops.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "tests/file/file_test_util.h"

namespace {

using vex::testkit::BitOp;

void read_ops(VEXFILE *f, const std::vector<BitOp> &ops) {
  for (size_t i = 0; i < ops.size(); ++i) {
    const BitOp &op = ops[i];
    SCOPED_TRACE(testing::Message() << "op " << i << " kind " << op.kind << " width " << op.width);
    std::vector<uint8_t> got(op.kind == BitOp::bytes ? op.width : 0);
    switch (op.kind) {
    case BitOp::bits: ASSERT_EQ(VEXFileGetBits(f, op.width), vex::testkit::bit_op_value(op)); break;
    case BitOp::u8: ASSERT_EQ(VEXFileGet8(f), op.value); break;
    case BitOp::u16: ASSERT_EQ(VEXFileGet16(f), op.value); break;
    case BitOp::u32: ASSERT_EQ(VEXFileGet32(f), op.value); break;
    case BitOp::bytes:
      ASSERT_EQ(VEXFileGet(f, got.data(), op.width), op.width);
      ASSERT_EQ(got, vex::testkit::bit_op_payload(op));
      break;
    case BitOp::byte_align: VEXFileByteAlign(f); break;
    case BitOp::align: VEXFileAlign(f, op.width); break;
    }
  }
}

// Writes the steps with one buffer size, compares the bytes with the model,
// and reads them back with each of `read_sizes`.
void round_trip(const std::vector<BitOp> &ops, int32_t write_size, std::initializer_list<int32_t> read_sizes) {
  vex::testkit::TempDir tmp;
  const std::string name = tmp.file("bits.bin");
  VEXFILE *f = VEXFileCreate(write_size, name.c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(vex::testkit::write_bit_ops(f, ops));
  EXPECT_EQ(f->write_error, 0);
  VEXFileClose(f);
  ASSERT_EQ(vex::testkit::read_file(name), vex::testkit::model_bit_ops(ops));
  for (int32_t read_size : read_sizes) {
    VEXFILE *r = VEXFileOpen(read_size, name.c_str(), VEXFILE_READ);
    ASSERT_NE(r, nullptr);
    read_ops(r, ops);
    VEXFileClose(r);
  }
}

class BitRoundTrip : public testing::TestWithParam<int32_t> {};

// Mixed streams through every buffer size, the unbuffered file and buffers
// that split every value.
TEST_P(BitRoundTrip, MixedStreamsMatchTheModelAndReadBack) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    round_trip(vex::testkit::random_bit_ops(seed, 3000), GetParam(), {0, 3, 4096});
  }
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, BitRoundTrip, testing::Values(0, 1, 2, 5, 7, 64, 4096, -13),
                         [](const auto &info) {
                           return (info.param < 0 ? "minus" : "bytes") + std::to_string(std::abs(info.param));
                         });

TEST(BitFields, HandWorkedExamplesEndsAndSeeks) {
  vex::testkit::TempDir tmp;
  const std::string name = tmp.file("h.bin");
  // 5 in 3 bits, then a byte shifted up by them: 0xAB >> 5 stays held.
  vex::test::run(VEXFileCreate(64, name.c_str()), "putbits3(5)=5 put8(0xAB)=0xAB held=5 bitpos=3");
  EXPECT_EQ(vex::testkit::read_file(name), (std::vector<uint8_t>{0x5D, 0x05}));
  // A half-read byte counts as unread; 0 bits read nothing; 33 reads as 1
  // (bit 4 of 0x12); a seek drops the pending bits and returns where it was.
  vex::testkit::write_file(name, {0x34, 0x12, 0xAA, 0x55});
  vex::test::run(VEXFileOpen(64, name.c_str(), VEXFILE_READ), "bits(12)=0x234 bitpos=4 getpos=1 bits(0)=0 bits(33)=1 "
                                                              "setpos(2)=1 bitpos=0 bits(8)=0xAA setpos(0)=3 "
                                                              "bits(16)=0x1234");
  // Straddling the end the value is not defined (bits of the held byte may
  // repeat); after that, missing bits read as zeros and nothing blocks.
  vex::testkit::write_file(name, {0xFF});
  vex::test::run(VEXFileOpen(4, name.c_str(), VEXFILE_READ),
                 "bits(4)=0xF bits(8) bits(13) bits(13)=0 bits(13)=0 bits(32)=0 bits(32)=0 bits(32)=0 bits(32)=0 "
                 "bits(32)=0 bits(32)=0 bits(32)=0 bits(32)=0 bits(13)=0 atend=1");
}

} // namespace

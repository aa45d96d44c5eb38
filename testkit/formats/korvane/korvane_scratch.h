// A VEXFILE scratch stream for the library's Huffman encoder and bit
// writes: the testkit writes bits into it and takes the bytes back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vexutil/file.h"
#include "vexutil/huff.h"

namespace vex::testkit::korvane {

// A Huffman encoder that closes itself.
struct HuffFree {
  void operator()(HUFF *h) const { HuffClose(h); }
};
using HuffPtr = std::unique_ptr<HUFF, HuffFree>;

class ScratchBits {
public:
  explicit ScratchBits(std::string path);
  ~ScratchBits();
  ScratchBits(const ScratchBits &) = delete;
  ScratchBits &operator=(const ScratchBits &) = delete;

  VEXFILE *file() const { return f_; }
  bool ok() const { return f_ != nullptr; }
  // Completes the pending byte with zero bits; the byte position then.
  uint32_t align();
  // Every byte written so far; the file carries on for more.
  std::vector<uint8_t> bytes();

private:
  std::string path_;
  VEXFILE *f_ = nullptr;
};

} // namespace vex::testkit::korvane

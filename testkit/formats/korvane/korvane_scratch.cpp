#include "testkit/formats/korvane/korvane_scratch.h"

#include <cstdio>

namespace vex::testkit::korvane {

ScratchBits::ScratchBits(std::string path) : path_(std::move(path)) { f_ = VEXFileCreate(65536, path_.c_str()); }

ScratchBits::~ScratchBits() {
  if (f_) {
    VEXFileClose(f_);
    std::remove(path_.c_str());
  }
}

uint32_t ScratchBits::align() {
  VEXFileByteAlign(f_);
  return VEXFileGetPos(f_);
}

std::vector<uint8_t> ScratchBits::bytes() {
  const uint32_t end = align();
  std::vector<uint8_t> out(end);
  VEXFileSetPos(f_, 0);
  if (end > 0 && VEXFileGet(f_, out.data(), end) != end)
    out.clear();
  VEXFileSetPos(f_, end);
  return out;
}

} // namespace vex::testkit::korvane

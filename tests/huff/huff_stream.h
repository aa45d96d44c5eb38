// Runs Huff calls against a VEXFILE in a temporary folder and hands back the
// bytes written (the last byte padded with 0 bits).
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "testkit/util/temp_dir.h"
#include "vexutil/file.h"

template <class Body> std::vector<uint8_t> capture_bits(Body body) {
  vex::testkit::TempDir dir;
  const std::string name = dir.file("bits.bin");
  VEXFILE *f = VEXFileCreate(4096, name.c_str());
  if (!f)
    throw std::runtime_error("cannot create " + name);
  body(f);
  VEXFileByteAlign(f);
  VEXFileClose(f);
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// FLC files as the output of vexconv.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vexutil/flic.h"

namespace vex::tools {

// An 8-bit picture: palette indices, rows pitch bytes apart, with a palette
// of 256 red, green, blue entries (0-255).
struct FrameView {
  const uint8_t *pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pitch = 0;
  const uint8_t *palette = nullptr;
};

struct OutputPlan {
  std::string name;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t rate = 0; // speed value: >= 0 ms per frame, < 0 negated 10 us units
};

class FlicOutput {
public:
  FlicOutput(VEXOFLIC *f, uint32_t width);
  ~FlicOutput();
  FlicOutput(const FlicOutput &) = delete;
  FlicOutput &operator=(const FlicOutput &) = delete;

  bool put(const FrameView &frame);
  // Finishes the file; its size in bytes, 0 on failure.
  uint32_t close();

private:
  VEXOFLIC *f_;
  std::vector<uint8_t> packed_; // rows exactly the output width apart
  uint32_t width_;              // the input's width
};

// The output name must end in .flc (any case). Odd widths get one more column of colour 0 (FLC
// frames are even). Null and a reason when the name or the size does not
// fit or the file cannot be created.
std::unique_ptr<FlicOutput> create_flic_output(const OutputPlan &plan, std::string &why);

// The extensions create_flic_output takes, for --help.
extern const char *const kOutputExtensions;

} // namespace vex::tools

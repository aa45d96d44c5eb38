// What the tools see of an input or an output, whatever its kind. A new
// kind of input or output is one class implementing these and one row in
// the tables of media.cpp (kInputs, kOutputs).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

struct InputInfo {
  std::string format; // for people: "FLC animation"
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frames = 0;
  int32_t rate = 0; // speed value: >= 0 ms per frame, < 0 negated 10 us units
  std::vector<std::string> details; // further lines for vexinfo, already laid out
};

class Input {
public:
  virtual ~Input() = default;
  virtual const InputInfo &info() const = 0;
  // Positions on frame n (1 = first) and decodes it; false on failure.
  virtual bool seek(uint32_t n, FrameView &out) = 0;
  // Decodes the next frame; false on failure.
  virtual bool next(FrameView &out) = 0;
  // One line per frame (or other unit) for vexinfo -v.
  virtual void describe_frames(std::FILE *to) = 0;
};

struct OutputSpec {
  std::string name;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t rate = 0; // speed value
};

class Output {
public:
  virtual ~Output() = default;
  virtual bool put(const FrameView &frame) = 0;
  // Finishes the file; its size in bytes, 0 on failure.
  virtual uint32_t close() = 0;
};

// Tries every input kind in turn; null and a reason when none takes it.
std::unique_ptr<Input> open_input(const std::string &name, std::string &why);
// Picks the output kind from the name's extension; null and a reason when
// no kind writes it or the file cannot be created.
std::unique_ptr<Output> create_output(const OutputSpec &plan, std::string &why);
// The extensions create_output knows, for --help ("flc").
std::string output_extensions();

// Speed value -> milliseconds and frames per second.
double rate_ms(int32_t rate);
double rate_fps(int32_t rate);

} // namespace vex::tools

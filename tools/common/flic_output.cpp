#include "common/flic_output.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vex::tools {

const char *const kOutputExtensions = ".flc";

namespace {

std::string lower_extension(const std::string &name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return "";
  std::string ext = name.substr(dot + 1);
  for (char &c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

} // namespace

FlicOutput::FlicOutput(VEXOFLIC *f, uint32_t width)
    : f_(f), packed_(size_t{f->width} * f->height, 0), width_(width) {}

FlicOutput::~FlicOutput() {
  if (f_)
    VEXOFlicClose(f_);
}

bool FlicOutput::put(const FrameView &fr) {
  const uint32_t w = std::min(fr.width, width_), h = std::min(fr.height, f_->height);
  for (uint32_t y = 0; y < h; ++y)
    std::memcpy(packed_.data() + size_t{y} * f_->width, fr.pixels + size_t{y} * fr.pitch, w);
  return VEXOFlicPutNext(f_, packed_.data(), fr.palette) == 1;
}

uint32_t FlicOutput::close() {
  const bool failed = f_->error != 0;
  const uint32_t size = VEXOFlicClose(f_);
  f_ = nullptr;
  return failed ? 0 : size;
}

std::unique_ptr<FlicOutput> create_flic_output(const OutputPlan &plan, std::string &why) {
  const std::string ext = lower_extension(plan.name);
  if (ext != "flc") {
    why = ext.empty() ? std::string("the output name needs an extension (") + kOutputExtensions + ")"
                      : "no output of kind ." + ext + " (known: " + kOutputExtensions + ")";
    return nullptr;
  }
  const uint32_t even = plan.width + (plan.width & 1);
  VEXOFLIC *f = VEXOFlicCreate(plan.name.c_str(), even, plan.height, plan.rate);
  if (!f) {
    why = plan.width > 65534 || plan.height > 65535 ? "the picture is too large for a FLIC file"
                                                     : "cannot create the file";
    return nullptr;
  }
  return std::make_unique<FlicOutput>(f, plan.width);
}

} // namespace vex::tools

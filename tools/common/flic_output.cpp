#include "common/flic_output.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "vexutil/flic.h"

namespace vex::tools {

namespace {

class FlicOutput final : public Output {
public:
  FlicOutput(VEXOFLIC *f, uint32_t width) : f_(f), packed_(size_t{f->width} * f->height, 0), width_(width) {}
  ~FlicOutput() override {
    if (f_)
      VEXOFlicClose(f_);
  }
  FlicOutput(const FlicOutput &) = delete;
  FlicOutput &operator=(const FlicOutput &) = delete;

  bool put(const FrameView &fr) override {
    const uint32_t w = std::min(fr.width, width_), h = std::min(fr.height, f_->height);
    for (uint32_t y = 0; y < h; ++y)
      std::memcpy(packed_.data() + size_t{y} * f_->width, fr.pixels + size_t{y} * fr.pitch, w);
    return VEXOFlicPutNext(f_, packed_.data(), fr.palette) == 1;
  }

  uint32_t close() override {
    const bool failed = f_->error != 0;
    const uint32_t size = VEXOFlicClose(f_);
    f_ = nullptr;
    return failed ? 0 : size;
  }

private:
  VEXOFLIC *f_;
  std::vector<uint8_t> packed_; // rows exactly the output width apart
  uint32_t width_;              // the input's width
};

} // namespace

std::unique_ptr<Output> create_flic_output(const OutputSpec &plan, std::string &why) {
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

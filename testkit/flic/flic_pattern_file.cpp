#include "testkit/flic/flic_pattern_file.h"

#include "vexutil/flic.h"

namespace vex::testkit {

uint32_t write_flc(const PatternAnimation &anim, int32_t rate, const std::string &path) {
  const PatternOptions &o = anim.options();
  VEXOFLIC *f = VEXOFlicCreate(path.c_str(), o.width, o.height, rate);
  if (!f)
    return 0;
  bool ok = true;
  for (uint32_t i = 0; i < anim.frames(); ++i) {
    const Frame8 fr = anim.frame(i);
    ok = VEXOFlicPutNext(f, fr.pixels.data(), fr.palette.data()) == 1 && ok;
  }
  const uint32_t size = VEXOFlicClose(f);
  return ok ? size : 0;
}

std::vector<ByteVec> read_flic_rgb(const std::string &path) {
  std::vector<ByteVec> out;
  VEXFLIC *h = VEXFlicOpen(path.c_str());
  if (!h)
    return out;
  ByteVec buf(size_t{h->pitch} * h->buffer_height);
  for (uint32_t i = 0; i < h->frame_count; ++i) {
    if (VEXFlicGetNext(h, buf.data()) == VEXFLIC_FAILED) {
      out.clear();
      break;
    }
    out.push_back(to_rgb(buf.data(), h->width, h->height, h->pitch, VEXFlicGetPalette(h)));
  }
  VEXFlicClose(h);
  return out;
}

} // namespace vex::testkit

// The sound source read whole into one array: SFileGet writes straight
// into a block sized from the source's announced length, which the array
// then owns (no copy after the library's own unless the length was wrong).
#include <algorithm>
#include <memory>
#include <vector>

#include "binding.h"
#include "vexutil/sfile.h"

namespace vexpy {
namespace {

constexpr uint32_t kBlock = 1u << 20; // bytes asked of SFileGet at a time

struct Closer {
  void operator()(SFILE *s) const { SFileClose(s); }
};

// The output bytes the source announces: its trimmed source bytes at the
// output's rate and sample frame, at most 256 MiB (a hint for the first
// block, never trusted beyond that).
size_t expected_bytes(const SFILE &s) {
  if (s.source_frame_bytes == 0 || s.source_rate == 0)
    return 0;
  const uint64_t frames = uint64_t{s.total} / s.source_frame_bytes * s.rate / s.source_rate;
  return size_t(std::min<uint64_t>(frames * s.frame_bytes, uint64_t{256} << 20));
}

// (samples frames x channels, rate, damage or None)
py::tuple read_sound(const std::string &path, int32_t rate, int32_t bits, int32_t channels, int32_t start, int32_t end,
                     int32_t track) {
  auto pcm = std::make_unique<std::vector<uint8_t>>();
  std::string reason;
  std::string damage;
  bool has_damage = false;
  uint32_t out_rate = 0, out_bits = 0, out_channels = 0;
  {
    py::gil_scoped_release unlocked;
    std::unique_ptr<SFILE, Closer> s(SFileOpen(path.c_str(), rate, bits, channels, start, end, track, 0, 0, nullptr));
    if (s) {
      out_rate = s->rate;
      out_bits = s->bits;
      out_channels = s->channels;
      pcm->reserve(expected_bytes(*s) + kBlock); // a hint: the block grows if the source gives more
      for (;;) {
        const size_t at = pcm->size();
        pcm->resize(at + kBlock);
        const uint32_t got = SFileGet(s.get(), pcm->data() + at, kBlock);
        pcm->resize(at + got);
        if (got == 0) // the end; a list's seam gives fewer bytes, never none
          break;
      }
      if (const char *d = SFileDamage(s.get()); d != nullptr) {
        has_damage = true;
        damage = d;
      }
    } else {
      reason = last_reason();
    }
  }
  if (out_rate == 0)
    raise_error("OpenError", "cannot open the sound of " + path + ": " + reason, reason);
  if (pcm->capacity() - pcm->size() > kBlock + pcm->size() / 4)
    pcm->shrink_to_fit(); // a copy, only when the hint was far too large
  const size_t frame_bytes = size_t(out_bits / 8) * out_channels;
  const auto frames = py::ssize_t(pcm->size() / frame_bytes);
  auto *owned = pcm.release();
  py::capsule base(owned, [](void *p) { delete static_cast<std::vector<uint8_t> *>(p); });
  const auto dtype = out_bits == 16 ? py::dtype::of<int16_t>() : py::dtype::of<uint8_t>();
  py::array samples(dtype, {frames, py::ssize_t(out_channels)}, owned->data(), base);
  return py::make_tuple(samples, out_rate, has_damage ? py::object(py::str(damage)) : py::object(py::none()));
}

} // namespace

void register_sound(py::module_ &m) {
  m.def("read_sound", &read_sound, py::arg("path"), py::arg("rate"), py::arg("bits"), py::arg("channels"),
        py::arg("start"), py::arg("end"), py::arg("track"));
}

} // namespace vexpy

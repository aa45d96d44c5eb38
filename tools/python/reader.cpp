// The graphics source as a Python object: one GFILE, frames copied once
// from the library's output buffer into fresh numpy arrays (8-bit indices
// row by row without the pitch padding; 32-bit blue, green, red, x pixels
// reordered to red, green, blue[, alpha]).
#include <cstring>
#include <mutex>

#include "binding.h"
#include "open_options.h"
#include "vexutil/gfile.h"

namespace vexpy {
namespace {

// Unpacks one output frame of `g` into `out` (height x width [x channels]).
void unpack(const GFILE &g, uint8_t *out, int channels) {
  const size_t w = size_t(g.width);
  for (int32_t y = 0; y < g.height; ++y) {
    const uint8_t *row = g.buffer + size_t(y) * size_t(g.pitch);
    if (channels == 1) {
      std::memcpy(out, row, w);
      out += w;
      continue;
    }
    for (size_t x = 0; x < w; ++x, row += 4, out += channels) {
      out[0] = row[2];
      out[1] = row[1];
      out[2] = row[0];
      if (channels == 4)
        out[3] = row[3];
    }
  }
}

class Reader {
public:
  Reader(const std::string &path, int32_t flags, const py::dict &options) {
    const OpenArguments a = parse_open_options(options);
    {
      py::gil_scoped_release unlocked;
      g_ = GFileOpen(path.c_str(), flags, a.play_num, a.play_den, a.out_num, a.out_den, a.crop_x, a.crop_y,
                     a.crop_width, a.crop_height, a.first, a.last, a.palette_mode, a.palette_period, a.first_index,
                     a.palette_entries, a.palette_split, a.system_colours, a.promotion,
                     a.palette_file[0] != '\0' ? a.palette_file : nullptr, nullptr, nullptr);
      if (g_ == nullptr)
        reason_ = last_reason();
    }
    if (g_ == nullptr)
      raise_error("OpenError", "cannot open " + path + ": " + reason_, reason_);
  }
  ~Reader() { GFileClose(g_); }
  Reader(const Reader &) = delete;
  Reader &operator=(const Reader &) = delete;

  void close() {
    const std::lock_guard lock(busy_);
    g_ = GFileClose(g_);
  }
  bool closed() const { return g_ == nullptr; }

  // The next output frame: (pixels, palette or None, damaged).
  py::tuple read() {
    const std::unique_lock lock(busy_, std::try_to_lock);
    GFILE &g = handle(lock);
    const int channels = g.true_colour == 0 ? 1 : g.alpha != 0 ? 4 : 3;
    const auto shape = channels == 1 ? std::vector<py::ssize_t>{g.height, g.width}
                                     : std::vector<py::ssize_t>{g.height, g.width, channels};
    py::array_t<uint8_t> pixels(shape);
    uint8_t *out = pixels.mutable_data();
    int32_t ok = 0;
    {
      py::gil_scoped_release unlocked;
      ok = GFileGet(&g);
      if (ok != 0)
        unpack(g, out, channels);
      else
        reason_ = last_reason();
    }
    if (ok == 0)
      raise_error("Error", "frame " + std::to_string(g.delivered) + " could not be delivered: " + reason_, reason_,
                  g.delivered);
    py::object palette = py::none();
    if (channels == 1) {
      py::array_t<uint8_t> p({256, 3});
      std::memcpy(p.mutable_data(), g.palette, sizeof g.palette);
      palette = std::move(p);
    }
    return py::make_tuple(pixels, palette, GFileFrameDamaged(&g) != 0);
  }

  // Moves on by one output frame without converting it (see GFileSkip).
  void skip() {
    const std::unique_lock lock(busy_, std::try_to_lock);
    GFILE &g = handle(lock);
    py::gil_scoped_release unlocked;
    GFileSkip(&g);
  }
  void reset() {
    const std::unique_lock lock(busy_, std::try_to_lock);
    GFILE &g = handle(lock);
    py::gil_scoped_release unlocked;
    GFileReset(&g);
  }

  py::dict info() {
    const std::unique_lock lock(busy_, std::try_to_lock);
    GFILE &g = handle(lock);
    py::dict d;
    d["name"] = std::string(g.name);
    d["type"] = std::string(g.type);
    d["kind"] = g.kind;
    d["true_colour"] = g.true_colour != 0;
    d["alpha"] = g.alpha != 0;
    d["width"] = g.width;
    d["height"] = g.height;
    d["source_width"] = g.source_width;
    d["source_height"] = g.source_height;
    d["depth"] = g.depth;
    d["depth_read"] = g.depth_read;
    d["frame_count"] = g.frame_count;
    d["total_frames"] = g.total_frames;
    d["output_frames"] = g.output_frames;
    d["delivered"] = g.delivered;
    d["out_rate"] = py::make_tuple(g.out_num, g.out_den);
    d["play_rate"] = py::make_tuple(g.play_num, g.play_den);
    d["source_rate"] = py::make_tuple(g.source_num, g.source_den);
    d["has_sound"] = g.has_sound != 0;
    d["file_size"] = g.file_size;
    const char *damage = GFileDamage(&g);
    d["damage"] = damage != nullptr ? py::object(py::str(damage)) : py::object(py::none());
    GFILEINFO info{};
    if (GFileDescribe(&g, &info) != 0) {
      d["codec"] = std::string(info.codec);
      if (info.has_sound != 0)
        d["sound"] = py::dict(py::arg("codec") = std::string(info.sound_codec), py::arg("rate") = info.sound_rate,
                              py::arg("bits") = info.sound_bits, py::arg("channels") = info.sound_channels,
                              py::arg("frames") = info.sound_frames);
    }
    return d;
  }

private:
  // A handle serves one thread at a time: a second thread's call while the
  // first one decodes (with the GIL released) is refused, not raced.
  GFILE &handle(const std::unique_lock<std::mutex> &lock) {
    if (!lock.owns_lock())
      raise_error("Error", "the reader is in use by another thread", "busy");
    if (g_ == nullptr)
      raise_error("Error", "the reader is closed", "closed");
    return *g_;
  }

  GFILE *g_ = nullptr;
  std::mutex busy_;
  std::string reason_;
};

} // namespace

void register_reader(py::module_ &m) {
  m.attr("TRUE_COLOUR") = GFILE_TRUE_COLOUR;
  m.attr("ALPHA") = GFILE_ALPHA;
  m.attr("DEEP_TRUE_COLOUR") = GFILE_DEEP_TRUE_COLOUR;
  py::class_<Reader>(m, "Reader")
      .def(py::init<const std::string &, int32_t, const py::dict &>(), py::arg("path"), py::arg("flags"),
           py::arg("options"))
      .def("read", &Reader::read)
      .def("skip", &Reader::skip)
      .def("reset", &Reader::reset)
      .def("info", &Reader::info)
      .def("close", &Reader::close)
      .def_property_readonly("closed", &Reader::closed);
}

} // namespace vexpy

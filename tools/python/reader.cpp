// The graphics source as a Python object: one GFILE. Frames are written
// by the library straight into a fresh numpy block per frame (the caller's
// buffer of GFileGet) and handed out as views: red, green, blue of its
// blue, green, red, x pixels, or the indices without the row padding. No
// copy at all. Two cases copy once from the library's own buffer instead:
// 8-bit output with built palettes (palette placement reads the previous
// frame from that buffer), and packed or alpha frames, reordered to red,
// green, blue[, alpha].
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
  Reader(const std::string &path, int32_t flags, bool packed, const py::dict &options) {
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
    // Palettised inputs whose own palettes pass through (no palette built).
    const bool own_palettes = g_->depth_read <= 8 && a.palette_mode == 0 && a.palette_period >= 32000 &&
                              a.palette_file[0] == '\0' &&
                              (g_->kind == GFILE_FLIC || g_->kind == GFILE_KORVANE || g_->kind == GFILE_RAW);
    direct_ = g_->true_colour != 0 ? g_->alpha == 0 && !packed : own_palettes;
  }
  ~Reader() { GFileClose(g_); }
  Reader(const Reader &) = delete;
  Reader &operator=(const Reader &) = delete;

  // Waits for a read on another thread to end, without the GIL, which
  // that read needs to finish.
  void close() {
    py::gil_scoped_release unlocked;
    const std::lock_guard lock(busy_);
    g_ = GFileClose(g_);
  }
  bool closed() const { return g_ == nullptr; }

  // The next output frame: (pixels, palette or None, damaged).
  py::tuple read() {
    const std::unique_lock lock(busy_, std::try_to_lock);
    GFILE &g = handle(lock);
    py::array pixels = direct_ ? read_direct(g) : read_copied(g);
    py::object palette = py::none();
    if (g.true_colour == 0) {
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
  // GFileGet into a block of our own; the library forgets it at once, so a
  // reset or close never touches memory Python owns.
  py::array read_direct(GFILE &g) {
    const py::ssize_t bytes = g.true_colour != 0 ? 4 : 1, row = py::ssize_t((g.width + 3) & ~3) * bytes;
    py::array_t<uint8_t> block({py::ssize_t(g.height), row});
    uint8_t *data = block.mutable_data();
    deliver(g, [&] {
      // Output the source does not cover keeps what the buffer held: zeros,
      // as in the library's own buffer.
      if (g.clip_width != g.width || g.clip_height != g.height)
        std::memset(data, 0, size_t(row) * size_t(g.height));
      g.buffer = data;
      g.pitch = int32_t(row);
      const int32_t ok = GFileGet(&g);
      g.buffer = nullptr;
      return ok;
    });
    if (bytes == 1)
      return py::array(py::dtype::of<uint8_t>(), {py::ssize_t(g.height), py::ssize_t(g.width)}, {row, py::ssize_t(1)},
                       data, block);
    // red, green, blue: the bytes 2, 1, 0 of each pixel
    return py::array(py::dtype::of<uint8_t>(), {py::ssize_t(g.height), py::ssize_t(g.width), py::ssize_t(3)},
                     {row, py::ssize_t(4), py::ssize_t(-1)}, data + 2, block);
  }

  py::array read_copied(GFILE &g) {
    const int channels = g.true_colour == 0 ? 1 : g.alpha != 0 ? 4 : 3;
    const auto shape = channels == 1 ? std::vector<py::ssize_t>{g.height, g.width}
                                     : std::vector<py::ssize_t>{g.height, g.width, channels};
    py::array_t<uint8_t> pixels(shape);
    uint8_t *out = pixels.mutable_data();
    deliver(g, [&] {
      const int32_t ok = GFileGet(&g);
      if (ok != 0)
        unpack(g, out, channels);
      return ok;
    });
    return pixels;
  }

  // Runs `get` with the GIL released; a failure raises with the reason.
  template <typename Get> void deliver(GFILE &g, Get get) {
    int32_t ok = 0;
    {
      py::gil_scoped_release unlocked;
      ok = get();
      if (ok == 0)
        reason_ = last_reason();
    }
    if (ok == 0)
      raise_error("Error", "frame " + std::to_string(g.delivered) + " could not be delivered: " + reason_, reason_,
                  g.delivered);
  }

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
  bool direct_ = false; // frames are views of blocks the library wrote into
  std::mutex busy_;
  std::string reason_;
};

} // namespace

void register_reader(py::module_ &m) {
  m.attr("TRUE_COLOUR") = GFILE_TRUE_COLOUR;
  m.attr("ALPHA") = GFILE_ALPHA;
  m.attr("DEEP_TRUE_COLOUR") = GFILE_DEEP_TRUE_COLOUR;
  py::class_<Reader>(m, "Reader")
      .def(py::init<const std::string &, int32_t, bool, const py::dict &>(), py::arg("path"), py::arg("flags"),
           py::arg("packed"), py::arg("options"))
      .def("read", &Reader::read)
      .def("skip", &Reader::skip)
      .def("reset", &Reader::reset)
      .def("info", &Reader::info)
      .def("close", &Reader::close)
      .def_property_readonly("closed", &Reader::closed);
}

} // namespace vexpy

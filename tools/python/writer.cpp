// The output writer as a Python object: one OGFILE, fed numpy frames.
// 8-bit frames (height x width indices, 256 x 3 palette) go to the writer
// as they are; red, green, blue[, alpha] frames are packed once into the
// blue, green, red, x rows the writer takes.
#include <optional>
#include <vector>

#include <pybind11/stl.h>

#include "binding.h"
#include "vexutil/ogfile.h"

namespace vexpy {
namespace {

using Bytes = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>;

class Writer {
public:
  Writer(const std::string &path, const std::string &codec, bool true_colour, int32_t frame_count, uint32_t num,
         uint32_t den, int32_t width, int32_t height)
      : true_colour_(true_colour), width_(width), height_(height) {
    if (width <= 0 || height <= 0 || frame_count <= 0 || num == 0 || den == 0)
      raise_error("WriteError", "cannot create " + path + ": empty frames or rate", "invalid argument");
    std::string reason;
    {
      py::gil_scoped_release unlocked;
      o_ = OGFileCreate(codec.empty() ? nullptr : codec.c_str(), path.c_str(), true_colour ? 1 : 0, frame_count, num,
                        den, width, height, width, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
      if (o_ == nullptr)
        reason = last_reason();
    }
    if (o_ == nullptr)
      raise_error("WriteError", "cannot create " + path + ": " + reason, reason);
    if (true_colour)
      packed_.resize(size_t(width) * size_t(height) * 4);
  }
  ~Writer() { OGFileDiscard(o_); }
  Writer(const Writer &) = delete;
  Writer &operator=(const Writer &) = delete;

  void put(const Bytes &pixels, const std::optional<Bytes> &palette) {
    OGFILE &o = handle();
    const int channels = pixels.ndim() == 3 ? int(pixels.shape(2)) : 1;
    const bool shape_ok = pixels.shape(0) == height_ && pixels.shape(1) == width_ &&
                          (true_colour_ ? pixels.ndim() == 3 && (channels == 3 || channels == 4) : pixels.ndim() == 2);
    if (!shape_ok)
      raise_error("WriteError", "frame " + std::to_string(o.next_frame) + " does not have the first frame's shape",
                  "invalid argument", o.next_frame);
    if (!true_colour_ && (!palette || palette->size() != 768))
      raise_error("WriteError", "8-bit frames need a 256 x 3 palette", "invalid argument", o.next_frame);
    const uint8_t *in = pixels.data();
    const uint8_t *colours = palette ? palette->data() : nullptr;
    py::gil_scoped_release unlocked;
    if (true_colour_) {
      uint8_t *out = packed_.data();
      for (size_t i = 0, n = size_t(width_) * size_t(height_); i < n; ++i, in += channels, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 0;
      }
      in = packed_.data();
    }
    OGFilePut(&o, in, colours);
  }

  uint32_t sound_amount(uint32_t rate, uint32_t bits, uint32_t channels) {
    return OGFilePutSoundAmount(&handle(), rate, bits, channels);
  }
  void put_sound(const Bytes &pcm) {
    OGFILE &o = handle();
    const uint8_t *data = pcm.data();
    const auto bytes = uint32_t(pcm.nbytes());
    py::gil_scoped_release unlocked;
    OGFilePutSound(&o, data, bytes);
  }

  // Names the output; its size in bytes, or WriteError with the first
  // failure's reason (the temporary is gone then, the name untouched).
  uint32_t close() {
    OGFILE *o = o_;
    o_ = nullptr;
    uint32_t size = 0;
    std::string reason;
    {
      py::gil_scoped_release unlocked;
      size = OGFileClose(o);
      if (size == 0)
        reason = last_reason();
    }
    if (size == 0)
      raise_error("WriteError", "the output could not be written: " + reason, reason);
    return size;
  }
  void discard() { o_ = (OGFileDiscard(o_), nullptr); }
  int32_t frames_put() { return handle().next_frame; }

private:
  OGFILE &handle() {
    if (o_ == nullptr)
      raise_error("WriteError", "the writer is closed", "closed");
    return *o_;
  }

  OGFILE *o_ = nullptr;
  bool true_colour_;
  int32_t width_, height_;
  std::vector<uint8_t> packed_;
};

} // namespace

void register_writer(py::module_ &m) {
  py::class_<Writer>(m, "Writer")
      .def(py::init<const std::string &, const std::string &, bool, int32_t, uint32_t, uint32_t, int32_t, int32_t>(),
           py::arg("path"), py::arg("codec"), py::arg("true_colour"), py::arg("frame_count"), py::arg("num"),
           py::arg("den"), py::arg("width"), py::arg("height"))
      .def("put", &Writer::put, py::arg("pixels"), py::arg("palette") = py::none())
      .def("sound_amount", &Writer::sound_amount)
      .def("put_sound", &Writer::put_sound)
      .def("close", &Writer::close)
      .def("discard", &Writer::discard)
      .def_property_readonly("frames_put", &Writer::frames_put);
}

} // namespace vexpy

// OGFileCreate: the kind from the name and the frame depth, the question
// before replacing a file, and the FLIC writer, the AVI streams or the
// still image behind the record.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "movie/avi_writer.h"
#include "ogfile/codec_choice.h"
#include "ogfile/frame_copy.h"
#include "ogfile/ogfile_state.h"
#include "ogfile/output_kind.h"
#include "ogfile/still_descriptor.h"
#include "file/temporary_name.h"
#include "util/record.h"
#include "util/status.h"
#include "vexutil/ui.h"

namespace vex::ogfile {

namespace {

constexpr const char *kFlicFailed = "Error creating the output flic.";
constexpr const char *kAviFailed = "Error creating the output AVI file.";
constexpr const char *kUnsupported = "Unsupported output file type or color depth.";
constexpr const char *kNoMemory = "Out of memory.";
constexpr size_t kNameField = sizeof(OGFILE{}.name);

struct Request {
  std::string codec, name;
  int32_t flags;
};

// Fails the create: the message (when there is one), and the record and
// whatever it holds released.
OGFILE *refuse(OGFILE *o, VEXMessageCallback callback, const char *text, int32_t level = 2) {
  if (callback)
    callback(text, level);
  release(o);
  return nullptr;
}

void copy_field(char *field, size_t size, const std::string &text) {
  std::snprintf(field, size, "%s", text.c_str());
}

// overwrite() allows the file, or was told not to ask.
bool may_replace(const std::string &name, int32_t flags) {
  if (flags & OGFILE_NO_OVERWRITE_QUESTION)
    return true;
  return overwrite(name.c_str(), flags & OGFILE_ASK_IN_DIALOG) != 0;
}

// The user kept the file `name`: the callback hears its name at level 3.
OGFILE *refused(OGFILE *o, const std::string &name) {
  util::fail(util::Status::kCancelled, "%s exists and is kept", name.c_str());
  return refuse(o, o->callback, name.c_str(), 3);
}

// The frame time in units of 10 us, negated: the FLIC writer's speed value.
int32_t flic_speed(uint32_t rate, uint32_t scale) {
  const uint64_t units = uint64_t{scale} * 100000 / rate;
  return -static_cast<int32_t>(std::clamp<uint64_t>(units, 1, INT32_MAX));
}

OGFILE *create_flic(OGFILE *o, const Request &r) {
  OGFILESTATE &s = *o->state;
  s.final_name = r.name + (extension_of(r.name).empty() ? ".flc" : "");
  copy_field(o->display_name, sizeof o->display_name, s.final_name);
  if (!may_replace(s.final_name, r.flags))
    return refused(o, s.final_name);
  s.temporary = file::reserve_temporary(s.final_name);
  const uint32_t width = (static_cast<uint32_t>(o->width) + 3) & ~3u;
  if (!s.temporary.empty())
    o->flic = VEXOFlicCreate(s.temporary.c_str(), width, static_cast<uint32_t>(o->height), flic_speed(o->rate, o->scale));
  if (!o->flic)
    return refuse(o, o->callback, kFlicFailed);
  s.flic_frame.assign(size_t{width} * static_cast<uint32_t>(o->height), 0);
  return o;
}

// The bitmap the frames pass through: the 40-byte header, the colour table
// for 8 bits, then bottom-up rows.
bool make_bitmap(OGFILE *o) {
  const int32_t pitch = ((o->depth * o->width + 31) / 32) * 4;
  const uint32_t table = o->depth == 8 ? 1024 : 0;
  const uint64_t bytes = sizeof(movie::BitmapHeader) + table + uint64_t{static_cast<uint32_t>(pitch)} * o->height;
  if (bytes >= 0xFFFFFF00u)
    return false;
  o->avi_bitmap = static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(bytes)));
  if (!o->avi_bitmap)
    return false;
  std::memset(o->avi_bitmap, 0, static_cast<size_t>(bytes));
  movie::BitmapHeader h{};
  h.size = sizeof h;
  h.width = o->width;
  h.height = o->height;
  h.planes = 1;
  h.bit_count = static_cast<uint16_t>(o->depth);
  h.compression = 0;
  h.size_image = static_cast<uint32_t>(pitch) * static_cast<uint32_t>(o->height);
  h.colors_used = o->depth == 8 ? 256 : 0;
  std::memcpy(o->avi_bitmap, &h, sizeof h);
  o->avi_colors = o->depth == 8 ? o->avi_bitmap + sizeof h : nullptr;
  o->avi_pitch = -pitch;
  o->avi_last_row = o->avi_bitmap + sizeof h + table + static_cast<ptrdiff_t>(pitch) * (o->height - 1);
  if (o->avi_colors)
    palette_to_table(o->state->palette.data(), o->avi_colors);
  return true;
}

bool open_avi_streams(OGFILE *o) {
  OGFILESTATE &s = *o->state;
  movie::OutFile *file = nullptr;
  if (movie::FileCreate(&file, s.temporary.c_str()) != movie::kOk)
    return false;
  o->avi_file = file;
  if (!make_bitmap(o))
    return false;
  const auto *h = reinterpret_cast<const movie::BitmapHeader *>(o->avi_bitmap);
  movie::StreamHeader sh{};
  sh.type = movie::kVideo;
  sh.handler = movie::fourcc('M', 'S', 'V', 'C');
  sh.scale = o->scale;
  sh.rate = o->rate;
  sh.suggested_buffer_size = h->size_image;
  sh.frame = {0, 0, o->width, o->height};
  movie::OutStream *video = nullptr;
  if (movie::FileCreateStream(file, &video, &sh) != movie::kOk)
    return false;
  o->avi_video = video;
  if (!s.codec.empty()) {
    movie::OutStream *compressed = nullptr;
    if (movie::MakeCompressedStream(&compressed, video, s.codec.c_str(), 9999) != movie::kOk)
      return util::fail(util::Status::kUnsupported, "no video encoder named %s", s.codec.c_str());
    o->avi_uncompressed = video;
    o->avi_video = compressed;
    o->compressed = 1;
  }
  // The format goes in now, so that an encoder that cannot take these
  // frames fails the create rather than the first frame.
  const int32_t format_bytes = static_cast<int32_t>(sizeof *h + h->colors_used * 4);
  if (movie::StreamSetFormat(static_cast<movie::OutStream *>(o->avi_video), 0, o->avi_bitmap, format_bytes) !=
      movie::kOk)
    return util::fail(util::Status::kUnsupported, "the encoder %s cannot take %d x %d frames of %d bits",
                      s.codec.empty() ? "(none)" : s.codec.c_str(), o->width, o->height, o->depth);
  return true;
}

OGFILE *create_avi(OGFILE *o, const Request &r) {
  OGFILESTATE &s = *o->state;
  s.final_name = r.name;
  if (!may_replace(s.final_name, r.flags))
    return refused(o, s.final_name);
  s.codec = r.codec;
  if (s.codec == OGFILE_ASK_FOR_CODEC && !choose_codec(o->depth, s.codec))
    return refuse(o, o->callback, kAviFailed);
  s.temporary = file::reserve_temporary(s.final_name);
  if (s.temporary.empty() || !open_avi_streams(o))
    return refuse(o, o->callback, kAviFailed);
  return o;
}

OGFILE *create_stills(OGFILE *o, const Request &r) {
  OGFILESTATE &s = *o->state;
  stills::Image im{};
  if (stills::StillAlloc(&im, o->width, o->height, o->depth) != 0)
    return refuse(o, o->callback, kNoMemory);
  o->image = from_still(im);
  o->image_pitch = -im.pitch;
  o->image_last_row = im.pixels + static_cast<ptrdiff_t>(im.pitch) * (o->height - 1);
  s.series = series_for(r.name, o->frame_count);
  const std::string tmpl = s.series.template_text();
  if (tmpl.size() >= kNameField) {
    util::fail(util::Status::kInvalidArgument, "the output name is longer than %zu characters", kNameField - 1);
    return refuse(o, o->callback, kUnsupported);
  }
  copy_field(o->name, sizeof o->name, tmpl);
  if (const std::string first = s.series.file(0); !may_replace(first, r.flags))
    return refused(o, first);
  return o;
}

bool arguments_fit(const char *name, int32_t width, int32_t height, int32_t pitch, uint32_t rate, uint32_t scale) {
  if (!name || !*name)
    return util::fail(util::Status::kInvalidArgument, "no output name");
  if (std::strlen(name) >= kNameField)
    return util::fail(util::Status::kInvalidArgument, "the output name is longer than %zu characters", kNameField - 1);
  // Each refusal names the argument that is wrong.
  if (width <= 0 || width > 0xFFFF)
    return util::fail(util::Status::kInvalidArgument, "the width %d is not between 1 and 65535", width);
  if (height <= 0 || height > 0xFFFF)
    return util::fail(util::Status::kInvalidArgument, "the height %d is not between 1 and 65535", height);
  if (pitch < width)
    return util::fail(util::Status::kInvalidArgument,
                      "the row pitch (source_pitch) %d is less than the width %d: it counts pixels, not bytes", pitch,
                      width);
  if (rate == 0 || scale == 0)
    return util::fail(util::Status::kInvalidArgument, "the frame rate %u/%u (rate/scale) has a zero", rate, scale);
  return true;
}

} // namespace

} // namespace vex::ogfile

using namespace vex::ogfile;

extern "C" OGFILE *OGFileCreate(const char *codec, const char *name, int32_t true_colour, int32_t frame_count,
                                uint32_t rate, uint32_t scale, int32_t width, int32_t height, int32_t source_pitch,
                                VEXMessageCallback callback, int32_t flags) {
  const bool colour = true_colour != 0;
  const std::string ext = name ? extension_of(name) : "";
  const std::optional<OutputKind> kind = kind_for(ext, colour);
  if (!kind) {
    vex::util::fail(vex::util::Status::kUnsupported, "no output of kind \"%s\" for %s frames", ext.c_str(),
                    colour ? "32-bit" : "8-bit");
    return refuse(nullptr, (flags & OGFILE_ASK_IN_DIALOG) ? nullptr : callback, kUnsupported);
  }
  const char *failed = kind->code == OGFILE_FLIC ? kFlicFailed : kind->code == OGFILE_AVI ? kAviFailed : kUnsupported;
  if (!arguments_fit(name, width, height, source_pitch, rate, scale))
    return refuse(nullptr, callback, failed);
  OGFILE *o = vex::util::new_record<OGFILE>();
  OGFILESTATE *state = o ? vex::util::new_record<OGFILESTATE>() : nullptr;
  if (!state)
    return refuse(o, callback, kNoMemory);
  o->state = state;
  for (int i = 0; i < 256; ++i)
    std::fill_n(state->palette.begin() + i * 3, 3, static_cast<uint8_t>(i));
  copy_field(o->name, sizeof o->name, name);
  copy_field(o->display_name, sizeof o->display_name, name);
  o->true_colour = colour ? 1 : 0;
  o->width = width;
  o->height = height;
  o->frame_count = std::max(frame_count, 0);
  o->rate = rate;
  o->scale = scale;
  o->source_pitch = source_pitch;
  o->kind = kind->code;
  o->depth = kind->depth;
  o->callback = callback;
  const Request r{codec ? codec : "", name, flags};
  if (kind->code == OGFILE_FLIC)
    return create_flic(o, r);
  if (kind->code == OGFILE_AVI)
    return create_avi(o, r);
  return create_stills(o, r);
}

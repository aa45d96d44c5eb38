// GFileOpen: the list reader first, then the readers in their fixed order,
// then the frame range, the crop window, 24-bit promotion and the rates.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "gfile/input_order.h"
#include "gfile/source_geometry.h"
#include "gfile/source_promotion.h"
#include "util/limits.h"
#include "util/open_progress.h"

namespace vex::gfile {
namespace {

using util::Status;

// The whole open of one input; `accepted` leaves the record ready for the
// common tail. The range the name carried may fill in a's.
Opened open_input(GFILE &g, OpenArgs &a) {
  if (std::strlen(a.name) >= kNameChars) {
    util::fail(Status::kInvalidArgument, "the name has %zu characters, at most %zu fit", std::strlen(a.name),
               kNameChars - 1);
    return Opened::failed;
  }
  copy_text(g.name, sizeof g.name, a.name);
  std::string name;
  if (const Opened list = open_if_list(g, a, name); list != Opened::declined)
    return list;
  if (HasExtension(name.c_str()) && !g.state->inputs.exists(name))
    return Opened::failed; // the reason of the open stands
  return try_readers(g, a, name.c_str());
}

// Frame range: first and last are 1-based; the offset is first - 1.
void apply_range(GFILE &g, const OpenArgs &a) {
  const int64_t count = std::max<int64_t>(g.frame_count, 0);
  g.total_frames = static_cast<int32_t>(count);
  int64_t first = a.first > 0 ? a.first : 1;
  int64_t last = a.last > 0 ? a.last : kWholeRange;
  first = std::min(first, std::max<int64_t>(count, 1));
  last = std::max(std::min(last, count), first);
  g.state->first_offset = static_cast<uint32_t>(first - 1);
  g.frame_count = static_cast<int32_t>(last - (first - 1));
}

void apply_promotion(GFILE &g, const OpenArgs &a) {
  g.depth_read = g.depth;
  const bool automatic = !g.true_colour && a.promotion == 0 && g.depth > 8 && g.frame_count >= 10;
  g.state->promote = automatic || a.promotion == 1;
  if (g.state->promote)
    g.depth = 24;
}

Options options_of(const OpenArgs &a) {
  Options o;
  o.play_num = a.play_num;
  o.play_den = a.play_den;
  o.out_num = a.out_num;
  o.out_den = a.out_den;
  o.palette_mode = a.palette_mode;
  o.palette_period = a.palette_period == 0 ? 0x10000 : a.palette_period;
  o.asked_first_index = std::clamp(a.first_index, 0, 255);
  o.asked_entries = std::clamp(a.palette_entries, 1, 256 - o.asked_first_index);
  o.split = std::clamp(a.palette_split, 0, (o.asked_entries + 1) / 2);
  o.first_index = o.asked_first_index;
  o.entries = std::max(o.asked_entries - o.split, 1);
  o.system_colours = std::clamp(a.system_colours, 0, 2);
  o.promotion = a.promotion;
  if (a.palette_file)
    o.palette_file.assign(a.palette_file, strnlen(a.palette_file, kNameChars - 1));
  return o;
}

} // namespace

namespace {
GFILE *open_checked(const OpenArgs &asked, const lists::InputFiles *inputs);
} // namespace

// Memory that runs out in a reader's containers fails the open with the
// reason, never the caller's process.
GFILE *open_source(const OpenArgs &asked, const lists::InputFiles *inputs) {
  try {
    return open_checked(asked, inputs);
  } catch (const std::bad_alloc &) {
    return util::fail(Status::kOutOfMemory, "out of memory");
  }
}

namespace {
GFILE *open_checked(const OpenArgs &asked, const lists::InputFiles *inputs) {
  OpenArgs a = asked;
  SourcePtr g(util::new_record<GFILE>());
  if (!g)
    return util::fail(Status::kOutOfMemory);
  g->state = util::new_record<GFILESTATE>();
  if (!g->state)
    return util::fail(Status::kOutOfMemory);
  GFILESTATE &s = *g->state;
  if (inputs)
    s.inputs = *inputs;
  s.options = options_of(a);
  s.opened_as = a.name ? a.name : "";
  s.callback = a.callback;
  g->true_colour = a.flags & GFILE_TRUE_COLOUR ? 1 : 0;
  g->alpha = a.flags & GFILE_ALPHA ? 1 : 0;
  util::OpenProgress progress(a.callback, a.name);
  const uint64_t failures = file::read_failures();
  const Opened r = open_input(*g, a);
  const bool read_failed = file::read_failures() != failures;
  if (progress.cancelled())
    return util::fail(Status::kCancelled, "cancelled"); // the caller asked for it: no error message
  if (r != Opened::accepted) {
    if (r == Opened::failed && util::last_status() == Status::kOk)
      util::fail(Status::kNotThisFormat, "no reader accepts %s", a.name);
    // A read that failed on the way is the likelier cause than the words
    // of the reader that met it.
    if (read_failed && std::strstr(util::last_reason(), file::last_read_failure().c_str()) == nullptr)
      util::fail(Status::kReadFailed, "%s cannot be read: %s", a.name, file::last_read_failure().c_str());
    // A list that failed has told the callback already.
    if (g->kind != GFILE_LIST && a.callback)
      say(a.callback, 2, "Error opening: %s", a.name);
    return nullptr;
  }
  if (g->kind != GFILE_LIST) {
    s.input = s.inputs.get(g->name).source;
    g->file_size = static_cast<uint32_t>(std::min<uint64_t>(s.input.size(), UINT32_MAX));
    s.read_failed = read_failed;
    if (read_failed && s.damage.empty())
      s.damage = "the file cannot be read: " + file::last_read_failure();
  }
  // The reader has told the depth: true colour for deep sources only. Set
  // before the promotion is decided, which true colour turns off.
  if (a.flags & GFILE_DEEP_TRUE_COLOUR)
    g->true_colour = g->depth > 8 ? 1 : 0;
  apply_range(*g, a);
  if (!set_output_window(*g, a.crop_x, a.crop_y, a.crop_width, a.crop_height)) {
    if (a.callback)
      say(a.callback, 2, "Error opening: %s", a.name);
    return nullptr;
  }
  apply_promotion(*g, a);
  set_rates(*g, a.play_num, a.play_den, a.out_num, a.out_den);
  copy_text(s.label, sizeof s.label, a.label ? a.label : "Processing");
  return g.release();
}
} // namespace

util::Failure report(VEXMessageCallback callback, Status status, const char *text) {
  if (callback)
    callback(text, 2);
  return util::fail(status, "%s", text);
}

void note_damage(GFILESTATE &s, bool failed) {
  s.fetch_failed = s.fetch_failed || failed;
  if (failed && s.damage.empty()) {
    const char *why = util::last_reason();
    s.damage = why && *why ? why : "a frame cannot be read";
  }
}

void note_frame_not_decoded(GFILESTATE &s, int64_t frame) {
  s.fetch_failed = true;
  if (!s.damage.empty())
    return;
  const char *why = util::last_reason();
  s.damage = "frame " + std::to_string(frame) + " cannot be decoded";
  if (why && *why)
    s.damage += std::string(": ") + why;
}

void note_input_faults(GFILE &g, uint64_t failures_before) {
  GFILESTATE &s = *g.state;
  const long frame = static_cast<long>(s.first_offset) + g.fetched;
  const std::string &why = file::last_read_failure();
  if (!s.damage.empty() && g.kind != GFILE_LIST && s.damage.find("frame ") == std::string::npos)
    s.damage = "frame " + std::to_string(frame) + ": " + s.damage; // the reader's words without the place
  if (file::read_failures() != failures_before) {
    if (s.damage.empty())
      s.damage = "frame " + std::to_string(frame) + " cannot be read: " + why;
    else if (s.damage.find(why) == std::string::npos)
      s.damage += " (" + why + ")";
    return;
  }
  if (s.damage.empty() && g.kind != GFILE_LIST)
    if (const std::string change = s.input.change(); !change.empty())
      s.damage = "frame " + std::to_string(frame) + ": " + change;
}

int32_t say(VEXMessageCallback callback, int32_t level, const char *format, ...) {
  if (!callback)
    return 0;
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? size_t(n) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return callback(text.c_str(), level);
}

void rate_from_speed(int32_t speed, uint32_t &num, uint32_t &den) {
  if (speed == 0) {
    num = den = 0; // no rate in the file: the common tail picks one
  } else if (speed > 0) {
    num = 1000;
    den = static_cast<uint32_t>(speed);
  } else {
    num = 100000;
    den = static_cast<uint32_t>(-static_cast<int64_t>(speed));
  }
}

} // namespace vex::gfile

using namespace vex::gfile;

extern "C" GFILE *GFileOpen(const char *name, int32_t flags, uint32_t play_num, uint32_t play_den, uint32_t out_num,
                            uint32_t out_den, int32_t crop_x, int32_t crop_y, int32_t crop_width, int32_t crop_height,
                            int32_t first, int32_t last, int32_t palette_mode, int32_t palette_period,
                            int32_t first_index, int32_t palette_entries, int32_t palette_split, int32_t system_colours,
                            int32_t promotion, const char *palette_file, const char *label,
                            VEXMessageCallback callback) {
  vex::util::clear_reason();
  if (!name)
    return vex::util::fail(vex::util::Status::kInvalidArgument, "no file name");
  const vex::gfile::OpenArgs a{
      name,         flags,          play_num,    play_den,        out_num,       out_den,
      crop_x,       crop_y,         crop_width,  crop_height,     first,         last,
      palette_mode, palette_period, first_index, palette_entries, palette_split, system_colours,
      promotion,    palette_file,   label,       callback};
  return open_source(a, nullptr);
}

namespace {

// sizeof(GFILEOPTIONS) in its first version, which ends with `callback`:
// the least a caller may pass (fields are only added after it).
constexpr size_t kFirstOptionsSize = offsetof(GFILEOPTIONS, callback) + sizeof(VEXMessageCallback);

// The caller's options over the defaults: the fields within its `size`,
// the defaults past it; false when the size is too small or the bytes this
// library does not know are not zero.
bool read_options(const GFILEOPTIONS *given, GFILEOPTIONS &o) {
  o = GFILEOPTIONS_INIT;
  if (!given)
    return true;
  if (given->size < kFirstOptionsSize)
    return vex::util::fail(vex::util::Status::kInvalidArgument, "the options' size %u is below %zu bytes", given->size,
                           kFirstOptionsSize);
  const auto *bytes = reinterpret_cast<const uint8_t *>(given);
  for (size_t i = sizeof o; i < given->size; ++i)
    if (bytes[i] != 0)
      return vex::util::fail(vex::util::Status::kInvalidArgument,
                             "the options set byte %zu, past the %zu this library knows", i, sizeof o);
  std::memcpy(&o, given, std::min<size_t>(given->size, sizeof o));
  o.size = sizeof o;
  return true;
}

} // namespace

extern "C" GFILE *GFileOpenWith(const char *name, const GFILEOPTIONS *options) {
  vex::util::clear_reason();
  GFILEOPTIONS o;
  if (!read_options(options, o))
    return nullptr;
  if (!name)
    return vex::util::fail(vex::util::Status::kInvalidArgument, "no file name");
  const vex::gfile::OpenArgs a{
      name,           o.flags,          o.play_num,    o.play_den,        o.out_num,       o.out_den,
      o.crop_x,       o.crop_y,         o.crop_width,  o.crop_height,     o.first,         o.last,
      o.palette_mode, o.palette_period, o.first_index, o.palette_entries, o.palette_split, o.system_colours,
      o.promotion,    o.palette_file,   o.label,       o.callback};
  return open_source(a, nullptr);
}

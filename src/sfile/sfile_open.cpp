// SFileOpen: the readers in their fixed order, then trimming and the
// output format.
#include <cerrno>
#include <cstring>
#include <memory>

#include "sfile/sound_order.h"
#include "util/open_progress.h"
#include "util/record.h"

namespace vex::sfile {
namespace {

using util::Status;

using SourcePtr = std::unique_ptr<Source, SoundCloser>;

uint32_t or_source(int32_t asked, uint32_t source) { return asked > 0 ? static_cast<uint32_t>(asked) : source; }

// The output format and the counters.
void finish(Source &s, const OpenArgs &a) {
  s.callback = a.callback;
  s.remaining = s.total;
  s.at_end = s.total == 0 ? 1 : 0;
  s.rate = or_source(a.rate, s.source_rate);
  s.bits = a.bits == 8 || a.bits == 16 ? static_cast<uint32_t>(a.bits) : s.source_bits;
  s.channels = a.channels == 1 || a.channels == 2 ? static_cast<uint32_t>(a.channels) : s.source_channels;
  s.frame_bytes = s.channels * s.bits / 8;
}

// The range the name carried may fill in a's start and end.
Opened open_input(Source &s, OpenArgs &a, lists::InputFiles &files) {
  if (with_extension(a.name, ".wav").empty()) {
    report(a, Status::kInvalidArgument, "The file name is too long.");
    return Opened::failed;
  }
  std::string name;
  if (const Opened list = open_if_list(s, a, name); list != Opened::declined)
    return list;
  return try_readers(s, a, name.c_str(), files);
}

} // namespace

util::Failure report(const OpenArgs &a, Status status, const char *text, const char *detail) {
  if (a.callback)
    a.callback(text, 2);
  return util::fail(status, "%s", detail ? detail : text);
}

SFILE *open_source(const OpenArgs &asked, lists::InputFiles &inputs) {
  OpenArgs a = asked;
  if (!a.name)
    return util::fail(Status::kInvalidArgument, "no file name");
  SourcePtr s(util::new_record<Source>());
  if (!s)
    return util::fail(Status::kOutOfMemory);
  util::OpenProgress progress(a.callback, a.name);
  const uint64_t failures = file::read_failures();
  const Opened r = open_input(*s, a, inputs);
  if (progress.cancelled())
    return util::fail(Status::kCancelled, "cancelled");
  if (r != Opened::accepted) {
    // A read that failed on the way is the likelier cause than the words
    // of the reader that met it.
    if (file::read_failures() != failures &&
        std::strstr(util::last_reason(), file::last_read_failure().c_str()) == nullptr)
      util::fail(Status::kReadFailed, "%s cannot be read: %s", a.name, file::last_read_failure().c_str());
    return nullptr;
  }
  if (s->kind != kList)
    s->input = inputs.get(s->name).source;
  note_input_faults(*s, failures, 0);
  trim(*s, a.start, a.end);
  finish(*s, a);
  return s.release();
}

} // namespace vex::sfile

extern "C" SFILE *SFileOpen(const char *name, int32_t rate, int32_t bits, int32_t channels, int32_t start,
                            int32_t end, int32_t track, int32_t raw_format, int32_t raw_header,
                            VEXMessageCallback callback) {
  vex::util::clear_reason();
  vex::lists::InputFiles inputs;
  return vex::sfile::open_source({name, rate, bits, channels, start, end, track, raw_format, raw_header, callback},
                                 inputs);
}

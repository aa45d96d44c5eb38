// SFileOpen: the readers in their fixed order, then trimming and the
// output format.
#include <cerrno>
#include <cstring>
#include <memory>

#include "lists/list_reader.h"
#include "sfile/sound_source.h"
#include "util/record.h"

namespace vex::sfile {
namespace {

using util::Status;

struct SourceCloser {
  void operator()(Source *s) const { SFileClose(s); }
};
using SourcePtr = std::unique_ptr<Source, SourceCloser>;

uint32_t or_source(int32_t asked, uint32_t source) { return asked > 0 ? static_cast<uint32_t>(asked) : source; }

// Step 13: the output format and the counters.
void finish(Source &s, const OpenArgs &a) {
  s.callback = a.callback;
  s.remaining = s.total;
  s.at_end = s.total == 0 ? 1 : 0;
  s.rate = or_source(a.rate, s.source_rate);
  s.bits = a.bits == 8 || a.bits == 16 ? static_cast<uint32_t>(a.bits) : s.source_bits;
  s.channels = a.channels == 1 || a.channels == 2 ? static_cast<uint32_t>(a.channels) : s.source_channels;
  s.frame_bytes = s.channels * s.bits / 8;
}

// The movie and platform readers after WAV and raw.
Opened open_movie(Source &s, const OpenArgs &a, const char *name) {
  using Open = Opened (*)(Source &, const OpenArgs &, const char *);
  for (Open open : {open_korvane, open_tolm, open_executable, open_avi, open_quicktime}) {
    const Opened r = open(s, a, name);
    if (r != Opened::declined)
      return r;
  }
  return Opened::failed; // QuickTime, the last, never declines
}

Opened open_input(Source &s, const OpenArgs &a) {
  if (with_extension(a.name, ".wav").empty()) {
    report(a, Status::kInvalidArgument, "The file name is too long.");
    return Opened::failed;
  }
  // The name itself is the list reader's only line: a series, or a name
  // with switches. A series without extension names its entries without
  // one; each entry is then tried with every reader's extension.
  s.list_line = a.name;
  lists::ListEntry entry;
  if (lists::next_entry(s.list_state(), s.list_line.c_str(), entry))
    return open_list(s, a, &entry);
  if (std::strchr(a.name, '?'))
    return open_list(s, a, nullptr); // a series that names nothing
  lists::rewind_list(s.list_state());
  if (lists::is_list_name(a.name)) {
    s.list_file = VEXFileOpen(static_cast<int32_t>(kListBufferBytes), a.name, VEXFILE_READ);
    if (!s.list_file) {
      util::fail_to_open(errno);
      const std::string why = util::last_reason();
      report(a, util::last_status(), "Error opening the list file.", why.c_str());
      return Opened::failed;
    }
    return open_list(s, a, nullptr);
  }
  // A plain name: switches it carried are not part of the file name.
  const char *name = entry.name[0] != '\0' ? entry.name : a.name;
  const std::string wave = with_extension(name, ".wav");
  const Opened w = open_wave(s, a, wave.c_str());
  if (w != Opened::declined)
    return w;
  return open_movie(s, a, name);
}

} // namespace

util::Failure report(const OpenArgs &a, Status status, const char *text, const char *detail) {
  if (a.callback)
    a.callback(text, 2);
  return util::fail(status, "%s", detail ? detail : text);
}

} // namespace vex::sfile

using namespace vex::sfile;

extern "C" SFILE *SFileOpen(const char *name, int32_t rate, int32_t bits, int32_t channels, int32_t start,
                            int32_t end, int32_t track, int32_t raw_format, int32_t raw_header,
                            VEXMessageCallback callback) {
  vex::util::clear_reason();
  const OpenArgs a{name, rate, bits, channels, start, end, track, raw_format, raw_header, callback};
  if (!name)
    return vex::util::fail(vex::util::Status::kInvalidArgument, "no file name");
  SourcePtr s(vex::util::new_record<Source>());
  if (!s)
    return vex::util::fail(vex::util::Status::kOutOfMemory);
  if (open_input(*s, a) != Opened::accepted)
    return nullptr;
  trim(*s, start, end);
  finish(*s, a);
  return s.release();
}

// SFileReset and SFileClose: the reader rewinds and releases what it holds.
#include "sfile/sound_reader.h"
#include "util/record.h"

namespace vex::sfile {

Source::Source() : SFILE{} {} // the C record starts cleared
Source::~Source() = default;

} // namespace vex::sfile

using namespace vex::sfile;

extern "C" void SFileReset(SFILE *handle) {
  if (!handle)
    return;
  auto &s = static_cast<Source &>(*handle);
  s.buffer_end = s.buffer_read = s.buffer;
  if (s.reader)
    s.reader->rewind(s);
  s.remaining = s.total;
  s.at_end = s.total == 0 ? 1 : 0;
  s.skip = s.skip_initial;
  // The resampler starts afresh, as after the open.
  s.taken = s.produced = 0;
  s.frames_in = s.frames_out = 0;
  s.primed = false;
  s.acc_left = s.acc_right = s.inc_left = s.inc_right = 0;
}

extern "C" const char *SFileDamage(const SFILE *handle) {
  if (!handle)
    return nullptr;
  const auto &s = static_cast<const Source &>(*handle);
  return s.damage.empty() ? nullptr : s.damage.c_str();
}

extern "C" void SFileClose(SFILE *handle) {
  if (!handle)
    return;
  auto *s = static_cast<Source *>(handle);
  s->reader.reset();
  vexfree(s->buffer);
  static_cast<SFILE &>(*s) = SFILE{};
  vex::util::delete_record(s);
}

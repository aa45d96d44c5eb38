// SFileReset and SFileClose, and the per-kind rewind and release.
#include "sfile/sound_source.h"
#include "util/record.h"
#include "vexutil/movie.h"

namespace vex::sfile {

void rewind_reader(Source &s) {
  switch (s.kind) {
  case kWave:
    VEXFileSetPos(s.file, s.data_start);
    break;
  case kKorvane:
    rewind_korvane(s);
    break;
  case kAvi:
    s.avi_offset = s.avi_offset_reset;
    break;
  case kList:
    lists::rewind_list(s.list_state());
    break;
  case kQuickTime:
    QTSFileGoto(s.qt, s.qt_start_ms);
    break;
  case kTolm:
    rewind_tolm(s);
    break;
  default:
    break;
  }
}

void release_reader(Source &s) {
  VEXFileClose(s.file);
  s.file = nullptr;
  if (s.korva)
    release_korvane(s);
  if (s.tolm)
    release_tolm(s);
  if (s.avi_stream)
    release_avi(s);
  QTSFileClose(s.qt);
  s.qt = nullptr;
  VEXFileClose(s.exe_file);
  s.exe_file = nullptr;
}

} // namespace vex::sfile

using namespace vex::sfile;

extern "C" void SFileReset(SFILE *handle) {
  if (!handle)
    return;
  auto &s = static_cast<Source &>(*handle);
  s.buffer_end = s.buffer_read = s.buffer;
  rewind_reader(s);
  s.remaining = s.total;
  s.at_end = s.total == 0 ? 1 : 0;
  s.skip = s.skip_initial;
  SFileClose(s.entry);
  s.entry = nullptr;
  // The resampler starts afresh, as after the open.
  s.taken = s.produced = 0;
  s.frames_in = s.frames_out = 0;
  s.primed = false;
  s.acc_left = s.acc_right = s.inc_left = s.inc_right = 0;
}

extern "C" void SFileClose(SFILE *handle) {
  if (!handle)
    return;
  auto *s = static_cast<Source *>(handle);
  release_reader(*s);
  vexfree(s->buffer);
  VEXFileClose(s->list_file);
  SFileClose(s->entry);
  static_cast<SFILE &>(*s) = SFILE{};
  vex::util::delete_record(s);
}

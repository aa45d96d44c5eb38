// OGFileClose finishes the output and gives it its name; OGFileDiscard
// leaves nothing under it. Both free the record.
#include <cerrno>
#include <string>

#include "file/temporary_name.h"
#include "movie/avi_writer.h"
#include "ogfile/ogfile_state.h"
#include "ogfile/still_descriptor.h"
#include "ogfile/still_series.h"
#include "util/record.h"
#include "util/status.h"

namespace vex::ogfile {

void tell(const OGFILE *o, const char *text, int32_t level) {
  if (o && o->callback)
    o->callback(text, level);
}

namespace {

// Finishes the FLIC or AVI file under its temporary name; its size, 0 on
// failure.
uint32_t finish_file(OGFILE *o) {
  const std::string &temporary = o->state->temporary;
  if (o->flic) {
    const uint32_t size = VEXOFlicClose(o->flic);
    o->flic = nullptr;
    // The writer reports the size it completed the header with; a short
    // file on disk means the last writes were lost.
    return size != 0 && vexfilesize(temporary.c_str()) == size ? size : 0;
  }
  if (o->avi_file) {
    const int32_t r = movie::FileRelease(static_cast<movie::OutFile *>(o->avi_file));
    o->avi_file = o->avi_video = o->avi_uncompressed = o->avi_audio = nullptr;
    return r == movie::kOk ? vexfilesize(temporary.c_str()) : 0;
  }
  return 0;
}

} // namespace

void release(OGFILE *o) {
  if (!o)
    return;
  if (o->flic)
    VEXOFlicClose(o->flic);
  if (o->avi_file)
    movie::FileRelease(static_cast<movie::OutFile *>(o->avi_file));
  if (o->image.pixels) {
    stills::Image im = to_still(o->image);
    stills::StillFree(&im);
  }
  vexfree(o->avi_bitmap);
  if (o->state) {
    file::remove_file(o->state->temporary);
    abandon_series(*o->state);
    util::delete_record(o->state);
  }
  util::delete_record(o);
}

} // namespace vex::ogfile

extern "C" uint32_t OGFileClose(OGFILE *o) {
  if (!o)
    return 0;
  uint32_t size = o->bytes_written;
  OGFILESTATE &s = *o->state;
  if (o->kind == OGFILE_FLIC || o->kind == OGFILE_AVI) {
    // A frame or sound that failed leaves a hole: the file is not put
    // into place, and the refusal says what failed first.
    vex::util::clear_reason();
    errno = 0;
    size = vex::ogfile::finish_file(o);
    if (size == 0 || o->error) {
      std::string why = s.failure;
      if (why.empty())
        why = vex::util::last_status() != vex::util::Status::kOk ? std::string(vex::util::last_reason())
                                                                 : vex::ogfile::write_failure_text(errno);
      vex::util::fail(vex::util::Status::kWriteFailed, "the output %s could not be finished: %s",
                      s.final_name.c_str(), why.c_str());
      size = 0;
    } else if (!vex::file::commit_temporary(s.temporary, s.final_name))
      size = 0;
    else
      s.temporary.clear(); // it is the output now
  } else if (o->error || o->state->stills.empty()) {
    // A still that failed leaves a hole in the series: none is put into place.
    if (o->error)
      vex::util::fail(vex::util::Status::kWriteFailed,
                      "a still of the series could not be saved (%s); none was put into place", s.failure.c_str());
    size = 0;
  } else if (!vex::ogfile::commit_series(*o->state)) {
    size = 0;
  }
  vex::ogfile::release(o);
  return size;
}

extern "C" void OGFileDiscard(OGFILE *o) {
  if (!o)
    return;
  vex::ogfile::release(o); // a still series' temporaries with it
}

// Korvane and Tolm movies inside a self-playing executable (".exe"): the
// executable names the movie's offset in its string table; the file is
// kept open with the source and handed to the movie readers at that
// offset.
#include <unistd.h>

#include "formats/korvane/korvane.h"
#include "formats/tolm/tolm_reader.h"
#include "executable/embedded_movie.h"
#include "sfile/sound_source.h"

namespace vex::sfile {
namespace {

namespace tolm = formats::tolm;

constexpr uint32_t kTolmHandleFlags =
    tolm::kTolmOpenNoBackground | tolm::kTolmOpenHandle | tolm::kTolmOpenByTrackId;

} // namespace

Opened open_executable(Source &s, const OpenArgs &a, const char *name) {
  if (!executable::is_executable_name(name))
    return Opened::declined;
  uint32_t offset = 0;
  if (const auto movie = executable::EmbeddedMovie::open(name))
    offset = movie->offset();
  else
    return Opened::declined;
  s.exe_file = VEXFileOpen(0, name, VEXFILE_READ);
  if (!s.exe_file)
    return Opened::declined;
  copy_text(s.name, sizeof s.name, name);
  const int fd = s.exe_file->handle;
  if (::lseek(fd, offset, SEEK_SET) == static_cast<off_t>(offset)) {
    s.korva = KorvaOpen(korva_handle_arg(fd), formats::korvane::kOpenByHandle, 0);
    if (s.korva)
      return accept_korvane(s, a);
  }
  VEXFileSetPos(s.exe_file, offset);
  tolm::TolmSetSoundTrack(-1);
  s.tolm = tolm::TolmOpen(s.exe_file, kTolmHandleFlags);
  if (s.tolm)
    return accept_tolm(s, a);
  VEXFileClose(s.exe_file);
  s.exe_file = nullptr;
  return Opened::declined;
}

} // namespace vex::sfile

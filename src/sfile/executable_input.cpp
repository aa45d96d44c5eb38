// Korvane and Tolm movies inside a self-playing executable (".exe"): the
// executable names the movie's offset in its string table; the file is
// kept open with the source and handed to the movie readers at that
// offset.
#include "file/byte_source.h"
#include "formats/korvane/korvane.h"
#include "formats/tolm/tolm_reader.h"
#include "executable/embedded_movie.h"
#include "sfile/sound_source.h"

namespace vex::sfile {
namespace {

namespace tolm = formats::tolm;

constexpr uint32_t kTolmFlags = tolm::kTolmOpenNoBackground | tolm::kTolmOpenByTrackId;

} // namespace

Opened open_executable(Source &s, const OpenArgs &a, const char *name) {
  if (!executable::is_executable_name(name))
    return Opened::declined;
  file::ByteSource whole;
  if (whole.open(name) != util::Status::kOk)
    return Opened::declined;
  const auto movie = executable::embedded_movie(whole);
  if (!movie)
    return Opened::declined;
  copy_text(s.name, sizeof s.name, name);
  s.korva = KorvaOpen(*movie, 0);
  if (s.korva)
    return accept_korvane(s, a);
  s.tolm = tolm::TolmOpen(*movie, kTolmFlags);
  if (s.tolm)
    return accept_tolm(s, a);
  return Opened::declined;
}

} // namespace vex::sfile

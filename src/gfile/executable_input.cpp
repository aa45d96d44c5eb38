// Korvane and Tolm movies inside a self-playing executable (".exe"): the
// executable names the movie's offset; the descriptor stays open with the
// source and the movie readers read from it at that offset.
#include "file/byte_source.h"
#include "formats/korvane/korvane.h"
#include "formats/tolm/tolm_reader.h"
#include "gfile/graphics_source.h"
#include "executable/embedded_movie.h"

namespace vex::gfile {

namespace tolm = formats::tolm;

namespace {
constexpr uint32_t kTolmFlags = tolm::kTolmOpenNoBackground | tolm::kTolmOpenByTrackId;
} // namespace

Opened open_executable(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  if (!executable::is_executable_name(name))
    return Opened::declined;
  file::ByteSource whole;
  if (whole.open(name) != util::Status::kOk)
    return Opened::declined;
  const auto movie = executable::embedded_movie(whole);
  if (!movie)
    return Opened::declined;
  copy_text(g.name, sizeof g.name, name);
  GFILESTATE &s = *g.state;
  s.korva = KorvaOpen(*movie, 0);
  if (s.korva)
    return accept_korvane(g);
  s.tolm = tolm::TolmOpen(*movie, kTolmFlags);
  if (s.tolm)
    return accept_tolm(g);
  return Opened::declined;
}

} // namespace vex::gfile

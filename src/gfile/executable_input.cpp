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

bool movie_source(const executable::EmbeddedMovie &m, file::ByteSource &source) {
  return source.open(m.fd(), m.offset()) == util::Status::kOk;
}
} // namespace

Opened open_executable(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  if (!executable::is_executable_name(name))
    return Opened::declined;
  auto movie = executable::EmbeddedMovie::open(name);
  if (!movie)
    return Opened::declined;
  GFILESTATE &s = *g.state;
  s.executable = std::make_unique<executable::EmbeddedMovie>(std::move(*movie));
  copy_text(g.name, sizeof g.name, name);
  file::ByteSource korvane_bytes;
  if (movie_source(*s.executable, korvane_bytes)) {
    s.korva = KorvaOpen(std::move(korvane_bytes), 0);
    if (s.korva)
      return accept_korvane(g);
  }
  file::ByteSource tolm_bytes;
  if (movie_source(*s.executable, tolm_bytes)) {
    tolm::TolmSetSoundTrack(-1);
    s.tolm = tolm::TolmOpen(std::move(tolm_bytes), kTolmFlags);
    if (s.tolm)
      return accept_tolm(g);
  }
  s.executable.reset();
  return Opened::declined;
}

} // namespace vex::gfile

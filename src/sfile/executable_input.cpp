// Korvane and Tolm movies inside a self-playing executable (".exe"): the
// executable names the movie's offset in its string table; its bytes from
// there are offered to the Korvane reader, then to the Tolm reader, over
// the executable's one open file.
#include "executable/embedded_movie.h"
#include "sfile/sound_reader.h"

namespace vex::sfile {
namespace {

bool is_executable(const lists::InputFile &file) { return executable::is_executable_name(file.name.c_str()); }

Opened open_executable(Source &s, const OpenArgs &a, const lists::InputFile &file) {
  const auto movie = executable::embedded_movie(file.source);
  if (!movie)
    return Opened::declined;
  const lists::InputFile inside{file.name, *movie, {}, util::Status::kOk, {}};
  if (const Opened r = open_korvane(s, a, inside); r != Opened::declined)
    return r;
  return open_tolm(s, a, inside);
}

} // namespace

const SoundRow kExecutableRow{nullptr, is_executable, open_executable};

} // namespace vex::sfile

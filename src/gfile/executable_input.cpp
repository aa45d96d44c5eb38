// Korvane and Tolm movies inside a self-playing executable (".exe"): the
// executable names the movie's offset; its bytes from there are offered to
// the Korvane reader, then to the Tolm reader, over the executable's one
// open file.
#include "executable/embedded_movie.h"
#include "gfile/input_reader.h"

namespace vex::gfile {
namespace {

bool is_executable(const lists::InputFile &file) { return executable::is_executable_name(file.name.c_str()); }

Opened open_executable(GFILE &g, const OpenArgs &a, const lists::InputFile &file) {
  const auto movie = executable::embedded_movie(file.source);
  if (!movie)
    return Opened::declined;
  lists::InputFile inside{file.name, *movie, {}, util::Status::kOk, {}};
  if (open_korvane(g, a, inside) == Opened::accepted)
    return Opened::accepted;
  if (util::last_status() != util::Status::kNotThisFormat)
    return Opened::declined; // a Korvane movie that is refused: its reason stands
  return open_tolm(g, inside, false);
}

} // namespace

const ReaderRow kExecutableRow{0, {}, is_executable, open_executable};

} // namespace vex::gfile

// Draws the sample animations into the folder named on the command line:
// pattern.flc through the library's writer and pattern.fli through the
// testkit's FLI writer.
#include <cstdio>
#include <string>

#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_pattern_file.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vex_make_samples FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  vex::testkit::PatternOptions o;
  o.width = 320;
  o.height = 200;
  o.frames = 60;
  o.cycle = o.noise = o.stills = o.solid = true;
  const vex::testkit::PatternAnimation anim(o);
  if (vex::testkit::write_flc(anim, -6667, dir + "/pattern.flc") == 0) { // 15 frames per second
    std::fprintf(stderr, "vex_make_samples: cannot write %s/pattern.flc\n", dir.c_str());
    return 1;
  }
  o.six_bit = true;
  if (vex::testkit::write_fli(vex::testkit::PatternAnimation(o), 5, dir + "/pattern.fli").empty()) {
    std::fprintf(stderr, "vex_make_samples: cannot write %s/pattern.fli\n", dir.c_str());
    return 1;
  }
  return 0;
}

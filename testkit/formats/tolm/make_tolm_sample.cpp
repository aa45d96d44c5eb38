// Draws the sample Tolm movie into the folder named on the command line:
// pattern.tlm, 45 frames of the pattern animation at 15 frames per second
// with a key frame every 15, and one mono 22050 Hz sound track: a rising
// tone coded with the transform encoder.
#include <cstdio>
#include <string>

#include "testkit/flic/pattern.h"
#include "testkit/formats/tolm/rgb_to_yuv.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_sound_track.h"

int main(int argc, char **argv) {
  namespace tk = vex::testkit::tolm;
  if (argc != 2) {
    std::fprintf(stderr, "usage: vex_make_tolm_sample FOLDER\n");
    return 2;
  }
  vex::testkit::PatternOptions o;
  o.width = 320;
  o.height = 200;
  o.frames = 45;
  o.cycle = o.noise = o.stills = true;
  const vex::testkit::PatternAnimation anim(o);
  std::vector<tk::Picture> pictures;
  for (uint32_t i = 0; i < anim.frames(); ++i) {
    const vex::testkit::Frame8 f = anim.frame(i);
    pictures.push_back(tk::rgb_to_yuv(vex::testkit::to_rgb(f.pixels.data(), f.width, f.height, f.width,
                                                           f.palette.data()),
                                      f.width, f.height));
  }
  tk::Movie m = tk::encode_movie(pictures, o.width, o.height, 'i', 15);
  m.rate_num = 15;
  const vex::testkit::Pcm tone = vex::testkit::sine_sweep(22050, 1, 22050 * 3, 200, 2000, 8000);
  m.tracks.push_back(tk::coded_track(tone, {22050, 1, 60, 1, false}, o.frames, 15, 1));
  const std::string path = std::string(argv[1]) + "/pattern.tlm";
  try {
    tk::write_movie(path, m);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vex_make_tolm_sample: %s\n", e.what());
    return 1;
  }
  return 0;
}

#include "testkit/gfile/kind_samples.h"

#include <fstream>

#include "testkit/executable/pe_fixture.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/wav_file.h"
#include "vexutil/gfile.h"

namespace vex::testkit {

std::vector<KindSample> write_kind_samples(const TempDir &dir) {
  const auto file = [&](const char *name) { return dir.file(name); };
  const PatternAnimation anim(PatternOptions{.width = 32, .height = 24, .frames = 4});
  write_flc(anim, 66, file("a.flc"));
  write_flc(anim, 66, file("b.flc"));
  const auto kvn = korvane::write_korvane(korvane::pattern_frames(anim), {}, file("m.kvn"));
  write_file(file("m.tlm"), tolm::movie_bytes(tolm::random_movie({}).movie));
  uint32_t at = 0;
  write_file(file("m.exe"), executable_with_movie(kvn.file, &at));
  rawb::write_rawb(file("m.raw"), {.width = 8, .height = 4, .speed = -66, .frame_count = {}},
                   {rawb::Frame{std::vector<uint8_t>(32, 7), {}}});
  write_file(file("s.wav"), pcm_wav(11025, 16, 1, std::vector<uint8_t>(4410, 0)));
  const std::string src = "-f lavfi -i testsrc=size=32x24:rate=10:duration=1 ";
  ffmpeg(src + "-f lavfi -i sine=sample_rate=11025:duration=1 -c:v mpeg4 -c:a pcm_s16le " + shell_quote(file("m.avi")));
  ffmpeg(src + "-c:v mpeg4 " + shell_quote(file("m.mov")));
  std::vector<KindSample> samples{{"a.flc", GFILE_FLIC},  {"b.flc", GFILE_FLIC},      {"m.kvn", GFILE_KORVANE},
                                  {"m.tlm", GFILE_TOLM},  {"m.exe", GFILE_KORVANE},   {"m.raw", GFILE_RAW},
                                  {"s.wav", GFILE_SOUND_ONLY}, {"m.avi", GFILE_AVI}, {"m.mov", GFILE_QUICKTIME}};
  const std::pair<const char *, int> stills[] = {{"p.bmp", GFILE_BMP}, {"p.pcx", GFILE_PCX}, {"p.png", GFILE_PNG},
                                                 {"p.tga", GFILE_TGA}, {"p.tif", GFILE_TIF}, {"p.gif", GFILE_GIF},
                                                 {"p.jpg", GFILE_JPEG}};
  for (const auto &[name, kind] : stills) {
    ffmpeg(src + "-frames:v 1 " + shell_quote(file(name)));
    samples.push_back({name, kind});
  }
  std::ofstream(file("l.lst")) << file("a.flc") << "\n" << file("b.flc") << " /S2\n";
  samples.push_back({"l.lst", GFILE_LIST});
  return samples;
}

} // namespace vex::testkit

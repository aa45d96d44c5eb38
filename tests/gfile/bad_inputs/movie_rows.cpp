#include "testkit/executable/pe_fixture.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

std::vector<BadInput> movie_bad_inputs() {
  using namespace vex::testkit;
  TempDir dir;
  const std::string pictures = "-f lavfi -i testsrc=size=50x30:rate=15:duration=1 -c:v mjpeg ";
  ffmpeg(pictures + dir.file("v.avi"));
  ffmpeg(pictures + dir.file("v.mov"));
  const std::vector<uint8_t> avi = read_file(dir.file("v.avi")), mov = read_file(dir.file("v.mov"));
  uint32_t at = 0;
  std::vector<uint8_t> outside = executable_with_movie(std::vector<uint8_t>(64, 7), &at);
  set_le32(outside, le32_at(outside, 0x3C) + 24 + 96 + 2 * 8, 0x7FFFFF00); // the resource directory's address
  return {
      // Cut inside the headers.
      {"cut.avi", {avi.begin(), avi.begin() + 100}, "an AVI file the movie library cannot read"},
      {"cut.mov", {mov.begin(), mov.begin() + 16}, "a QuickTime file the movie library cannot read: moov atom not found"},
      // Executables whose movie offset cannot be found or lies outside.
      {"past.exe", executable_with_strings({{1, "m:99999999"}}), "the executable's movie offset 99999999 lies past its end"},
      {"outside.exe", outside, "the resource directory lies outside the file"},
  };
}

} // namespace bad_input

#include <string>

#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/file_bytes.h"
#include "tests/gfile/bad_input_rows.h"
#include "util/limits.h"

namespace bad_input {

std::vector<BadInput> tolm_bad_inputs() {
  namespace tk = vex::testkit::tolm;
  using vex::testkit::le32_at;
  tk::RandomMovieOptions o;
  o.frames = 5;
  o.key_interval = 2;
  tk::Movie m = tk::random_movie(o).movie;
  for (int i = 0; i < 2; ++i)
    m.tracks.push_back({0, 0, 0, std::vector<std::vector<uint8_t>>(5, std::vector<uint8_t>(12, 3))});
  tk::MovieLayout l;
  const auto good = tk::movie_bytes(m, &l);
  const auto size = static_cast<uint32_t>(good.size());
  const uint32_t largest = le32_at(good, 12);
  const std::string w = std::to_string(le32_at(good, 20)), h = std::to_string(le32_at(good, 24));
  const auto with = [&](std::initializer_list<std::pair<size_t, uint32_t>> words) {
    auto b = good;
    for (auto [at, v] : words)
      vex::testkit::set_le32(b, at, v);
    return b;
  };
  const auto magic = [&](const char *text) {
    auto b = good;
    std::copy(text, text + 4, b.begin());
    return b;
  };
  const auto past = [](const std::string &tracks, const std::string &entries) {
    return "the track tables and the frame index (" + tracks + " tracks, " + entries +
           " entries) run past the end of the movie";
  };
  const std::string into = "frame index entry 0 points into the header or the index";
  const size_t index = l.index_at;
  return {
      {"e.tlm", magic("TLMe"), "not a file of a known kind"},
      {"j.tlm", magic("TLMj"), "not a file of a known kind"},
      {"upper.tlm", magic("TLMF"), "not a file of a known kind"},
      {"nul.tlm", magic("TLM\0"), "not a file of a known kind"},
      {"lower.tlm", magic("tlmi"), "not a file of a known kind"},
      {"short.tlm", std::vector<uint8_t>(good.begin(), good.begin() + 43), "not a file of a known kind"},
      {"empty.tlm", {}, "the file is empty"},
      {"none.tlm", with({{8, 0}}), "The file doesn't contain any compressed frames yet."},
      {"size.tlm", with({{4, size - 7}}),
       "the header gives " + std::to_string(size + 1) + " bytes, the file holds " + std::to_string(size)},
      {"index.tlm", with({{4, index - 8}}), past("2", "5")},
      {"frames.tlm", with({{8, 6}}), "6 frames, but the frame index has 5 entries"},
      {"largest.tlm", with({{12, size + 1}}),
       "the largest frame (" + std::to_string(size + 1) + " bytes) is larger than the movie"},
      {"count.tlm", with({{16, 0x40000000}}), past("2", "1073741824")},
      {"width0.tlm", with({{20, 0}}), "the picture is 0 x " + h + " pixels"},
      {"height0.tlm", with({{24, 0}}), "the picture is " + w + " x 0 pixels"},
      {"wide.tlm", with({{20, vex::util::kMaxSide + 1}}), "the picture is 32768 x " + h + " pixels"},
      {"tall.tlm", with({{24, 0xFFFFFFF0}}), "the picture is " + w + " x 4294967280 pixels"},
      {"rate.tlm", with({{28, 0}}), "the frame rate 0/1 has a zero"},
      {"scale.tlm", with({{32, 0}}), "the frame rate 15/0 has a zero"},
      {"tracks.tlm", with({{40, 0x20000000}}), past("536870912", "5")},
      {"ones.tlm", with({{40, 0xFFFFFFFF}}), past("4294967295", "5")},
      {"inindex.tlm", with({{index, static_cast<uint32_t>(index + 4)}}), into},
      {"inheader.tlm", with({{index, 8}}), into},
      {"back.tlm", with({{index + 12, l.record_at[1]}}), "frame index entry 3 points behind entry 2"},
      {"pastend.tlm", with({{index + 8, l.size + 4}}), "frame index entry 2 points past the end of the movie"},
      {"endpast.tlm", with({{index + 20, l.size + 2}}), "frame index entry 5 points past the end of the movie"},
      {"allones.tlm", with({{index + 16, 0xFFFFFFFF}}), "frame index entry 4 points past the end of the movie"},
      {"record.tlm", with({{index + 8, l.record_at[1] + largest + 2}}),
       "frame 2 (" + std::to_string(largest + 2) + " bytes) is larger than the largest frame the header gives"},
      {"smaller.tlm", with({{12, largest - 1}}), "is larger than the largest frame the header gives"},
      // Frame 3 (a key frame): track 2's length word claims the rest of the file.
      {"packet.tlm", with({{l.record_at[2] + 16, 0xFFFFFFF0}}), "a sound packet of frame 3 runs past its record", 2},
  };
}

} // namespace bad_input

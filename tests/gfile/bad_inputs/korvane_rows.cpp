#include <string>

#include "testkit/formats/korvane/korvane_hand.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

std::vector<BadInput> korvane_bad_inputs() {
  namespace kw = vex::testkit::korvane;
  using vex::testkit::set_le32;
  vex::testkit::TempDir dir;
  vex::testkit::PatternOptions o;
  o.width = 32;
  o.height = 16;
  o.frames = 6;
  o.noise = o.cycle = true;
  kw::MoviePlan plan;
  plan.tracks[0].emplace();
  plan.tracks[0]->frames.assign(6, std::vector<uint8_t>(300, 0x80));
  const auto movie = kw::write_korvane(kw::pattern_frames(vex::testkit::PatternAnimation(o)), plan, dir.file("m.kvn"));
  const std::vector<uint8_t> &good = movie.file;
  const uint32_t trees = vex::testkit::le32_at(good, 13 * 4);
  const auto with = [&](std::initializer_list<std::pair<size_t, uint32_t>> words) {
    auto b = good;
    for (auto [at, v] : words)
      set_le32(b, at, v);
    return b;
  };
  // An empty type tree: every frame is refused. A tree that never reaches
  // a leaf (all ones).
  kw::HandMovie empty(2, 4, 4), deep(2, 4, 4);
  empty.trees = kw::Bits().empty_tree().empty_tree().empty_tree().empty_tree().bytes();
  deep.trees.assign(64, 0xFF);
  return {
      {"magic.kvn", with({{0, 0x334E564B}}), "not a file of a known kind"}, // KVN3
      {"width0.kvn", with({{4, 0}}), "Korvane picture size out of range"},
      {"wide.kvn", with({{4, 32768}}), "Korvane picture size out of range"},
      {"huge.kvn", with({{4, 1u << 20}}), "Korvane picture size out of range"},
      {"area.kvn", with({{4, 32767}, {8, 2049}}), "Korvane picture size out of range"}, // past 2^26 pixels
      {"noframes.kvn", with({{12, 0}}), "Korvane file has no frames"},
      {"vertical.kvn", with({{20, 6}}), "Korvane vertical mode unknown"}, // both vertical bits
      {"sound.kvn", with({{24, 0x7FFFFFFF}}), "Korvane sound size of a frame out of range"},
      {"tables.kvn", with({{12, 0x40000000}}), "Korvane tables do not fit the file"},
      {"treeblock.kvn", with({{52, 0xFFFFFFF0}}), "Korvane tables do not fit the file"},
      {"onemore.kvn", with({{12, 7}}), "frame 6 runs past the end of the file"}, // records 5 bytes later
      {"short.kvn", std::vector<uint8_t>(good.begin(), good.begin() + 103), "the Korvane header is cut short"},
      {"empty.kvn", {}, "the file is empty"},
      {"lastlong.kvn", with({{104 + 20, vex::testkit::le32_at(good, 104 + 20) + 4}}),
       "frame 6 runs past the end of the file"},
      {"firstlong.kvn", with({{104, 0xFFFFFFFC}}), "frame 1 runs past the end of the file"},
      {"trees1.kvn", with({{52, 1}}), "tree 1 is cut short"},
      {"treeshalf.kvn", with({{52, trees / 2}}), "tree 3 is cut short"},
      {"treesless.kvn", with({{52, trees - 1}}), "tree 4 is cut short"},
      {"emptytree.kvn", empty.add(0, {}).file(), "the picture of frame 1 does not decode as 4 x 4 pixels"},
      {"deeptree.kvn", deep.add(0, {}).file(), "tree 1 is malformed"},
  };
}

} // namespace bad_input

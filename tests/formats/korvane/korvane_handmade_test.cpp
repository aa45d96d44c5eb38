// Movies built bit by bit, with results worked out by hand: the pixel
// order of each block type, run lengths across block rows, the recent-value
// cache, vertical modes, palette operations, delta-coded sound, the
// header's numbers and the log lines. Random tree shapes read and decoded
// through the lookup tables, against the codes of the same shapes worked
// out by walking them: codes that end in the first table level, in the
// second and beyond both, small trees (whose tables shrink to fit), trees
// of tens of thousands of 16-bit leaves and trees at the depth limit and
// one past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <numeric>
#include <optional>

#include "formats/korvane/korvane_log.h"
#include "formats/korvane/korvane_tree.h"
#include "testkit/formats/korvane/korvane_read.h"
#include "testkit/util/expect_text.h"
#include "util/profile.h"
#include "vexutil/util.h"

using namespace korvane_test;
using kw::Bits;
using kw::codes4;
using kw::HandMovie;
using kw::type_symbol;
using kw::wide_tree4;

namespace {

constexpr uint16_t kEsc = kw::kHandEscape;

Bits full_trees(const std::array<uint16_t, 4> &colours, uint16_t type) {
  Bits t;
  wide_tree4(t.empty_tree().empty_tree(), colours).wide_leaf(type);
  return t;
}

// A 4 x 4 movie of void blocks (pixels stay as they were: zero).
HandMovie void_movie(uint32_t width = 4) {
  HandMovie m(2, width, 4);
  m.trees = Bits().empty_tree().empty_tree().empty_tree().wide_leaf(type_symbol(2, 0, 0)).bytes();
  return m;
}

Bytes rows_of(std::initializer_list<uint8_t> row_values, uint32_t width, bool between, bool doubled) {
  Bytes out;
  for (uint8_t r : row_values) {
    out.insert(out.end(), width, r);
    if (between)
      out.insert(out.end(), width, doubled ? r : 0);
  }
  return out;
}

using Pictures = std::vector<Bytes>;                                   // per record
using Palettes = std::vector<std::vector<std::pair<size_t, uint8_t>>>; // per record: the changed entries' bytes

struct HandCase {
  std::string name;
  HandMovie movie;
  Pictures pictures;
  Bytes refused = {};
  uint32_t height = 0; // reported, when not the stored one
  Palettes palettes = {};
  std::optional<uint32_t> period = {};
};

std::vector<HandCase> hand_cases() {
  std::vector<HandCase> rows;
  const std::array<uint16_t, 4> eight = {0x0201, 0x0403, 0x0605, 0x0807};
  { // single-leaf trees read no bits: solid 0x2A, run 4
    HandMovie m(2, 8, 8);
    m.trees = Bits().empty_tree().empty_tree().empty_tree().wide_leaf(type_symbol(3, 3, 0x2A)).bytes();
    rows.push_back({"single-leaf trees", m.add(0, {}), Pictures{Bytes(64, 0x2A)}, Bytes{0}});
  }
  { // per row: first value (pixels 2, 3), then second (pixels 0, 1)
    HandMovie m(2, 4, 4);
    m.trees = full_trees(eight, type_symbol(1, 0, 0)).bytes();
    rows.push_back({"full block rows take the second value first", m.add(0, codes4({2, 0, 3, 1, 0, 3, 1, 2})),
                    Pictures{{1, 2, 5, 6, 3, 4, 7, 8, 7, 8, 1, 2, 5, 6, 3, 4}}});
  }
  { // version 4: doubled (values 0x0201, 0x0807), half height (rows of
    // 0x0403 0x0201, then 0x0807 0x0605), normal
    HandMovie m(4, 12, 4);
    m.trees = full_trees(eight, type_symbol(1, 2, 0)).bytes();
    Bits v;
    v.put(1, 1).code4(0).code4(3).put(0, 1).put(1, 1).code4(1).code4(0).code4(3).code4(2).put(0, 1).put(0, 1);
    rows.push_back({"version 4 full blocks doubled, half and normal", m.add(0, codes4({0, 0, 1, 1, 2, 2, 3, 3}, v)),
                    Pictures{{1, 1, 2, 2, 1, 2, 3, 4, 1, 2, 1, 2, 1, 1, 2, 2, 1, 2, 3, 4, 3, 4, 3, 4,
                              7, 7, 8, 8, 5, 6, 7, 8, 5, 6, 5, 6, 7, 7, 8, 8, 5, 6, 7, 8, 7, 8, 7, 8}}});
  }
  { // would be a doubled block in a version 4 file
    HandMovie m(2, 4, 4);
    m.trees = full_trees(eight, type_symbol(1, 0, 0)).bytes();
    rows.push_back({"version 2 never reads the mode bits", m.add(0, codes4({3, 3, 3, 3, 3, 3, 3, 3})),
                    Pictures{{7, 8, 7, 8, 7, 8, 7, 8, 7, 8, 7, 8, 7, 8, 7, 8}}});
  }
  {
    HandMovie m(2, 4, 4);
    m.trees = Bits().wide_leaf(0x8421).wide_leaf(0x0905).empty_tree().wide_leaf(type_symbol(0, 0, 0)).bytes();
    rows.push_back({"mono map bits go row by row, low bit first", m.add(0, {}),
                    Pictures{{9, 5, 5, 5, 5, 9, 5, 5, 5, 5, 9, 5, 5, 5, 5, 9}}});
  }
  { // 16 blocks a row: 20 blocks of 1, 12 of 2; then a run of 128 blocks
    // passes the last block: filled up to it, no further, and refused
    HandMovie m(2, 64, 8);
    Bits t;
    t.empty_tree().empty_tree().empty_tree();
    m.trees = wide_tree4(t, {type_symbol(3, 19, 1), type_symbol(3, 11, 2), type_symbol(3, 59, 3), type_symbol(2, 0, 0)})
                  .bytes();
    Bytes first(64 * 8);
    for (uint32_t i = 0; i < first.size(); ++i)
      first[i] = (i / 256) * 16 + (i % 64) / 4 < 20 ? 1 : 2;
    rows.push_back({"runs continue on the next block row", m.add(0, codes4({0, 1})).add(0, codes4({2})),
                    Pictures{first, Bytes(64 * 8, 3)}, Bytes{0, 1}});
  }
  { // A, B, recent 2 (= A), recent 1 (= A), recent 2 (= B); the next frame
    // starts with recent 1 = 0: a mono block of one run (all colour 9)
    HandMovie m(2, 20, 4);
    Bits t;
    t.wide_leaf(0xFFFF).wide_leaf(0x0905).empty_tree();
    m.trees = wide_tree4(t, {type_symbol(3, 0, 7), type_symbol(3, 0, 8), kEsc, uint16_t(kEsc + 1)}).bytes();
    const uint8_t first[5] = {7, 8, 7, 7, 8}, second[5] = {9, 7, 7, 7, 7};
    Bytes a, b;
    for (int i = 0; i < 20; ++i) { // four rows of five blocks
      a.insert(a.end(), 4, first[i % 5]);
      b.insert(b.end(), 4, second[i % 5]);
    }
    rows.push_back({"recent-value leaves and their cache restart each frame",
                    m.add(0, codes4({0, 1, 3, 2, 3})).add(0, codes4({2, 0, 0, 0, 0})), Pictures{a, b}});
  }
  for (uint32_t mode : {2u, 4u}) { // rows of 1s, 2s, 3s, 4s
    HandMovie m(2, 4, 4);
    m.header[5] = mode;
    m.trees = full_trees({0x0101, 0x0202, 0x0303, 0x0404}, type_symbol(1, 0, 0)).bytes();
    rows.push_back({mode == 2 ? "interlaced rows" : "doubled rows", m.add(0, codes4({0, 0, 1, 1, 2, 2, 3, 3})),
                    Pictures{rows_of({1, 2, 3, 4}, 4, true, mode == 4)}, Bytes{}, 8});
  }
  { // Entry 0 explicit (255, 130, 4), keep 10, copy 3 from index 0 to 11..13
    // (the old palette: zeros), keep the rest. Then entry 0 becomes black
    // and entry 1 copies the old entry 0, not the new one. Then no change.
    HandMovie m = void_movie();
    m.add(1, {3, 63, 32, 1, 0x89, 0x42, 0, 0xFF, 0xF1}).add(1, {2, 0, 0, 0, 0x40, 0, 0xFF, 0xFD}).add(0, {});
    rows.push_back(
        {"palette operations read the old palette", m, Pictures(3, Bytes(16, 0)), Bytes{}, 0,
         Palettes{{{0, 255}, {1, 130}, {2, 4}}, {{3, 255}, {4, 130}, {5, 4}}, {{3, 255}, {4, 130}, {5, 4}}}});
  }
  // The header's speed: minus the period in 10 us units, or milliseconds.
  for (auto [speed, period] : {std::pair{-6667, 6667u}, {100, 10000u}, {0, 0u}}) {
    HandMovie m = void_movie(8);
    m.header[4] = static_cast<uint32_t>(speed);
    rows.push_back({"speed " + std::to_string(speed), m.add(0, {}).add(0, {}), Pictures(2, Bytes(32, 0)), Bytes{}, 0,
                    Palettes{}, period});
  }
  return rows;
}

TEST(KorvaneHandMade, PicturesPalettesAndHeadersWorkedOutByHand) {
  for (HandCase &c : hand_cases()) {
    SCOPED_TRACE(c.name);
    const Decoded d = read_bytes(c.movie.file(), c.pictures.size());
    ASSERT_TRUE(d.opened) << VEXLastError();
    EXPECT_EQ(d.width, c.movie.header[1]);
    EXPECT_EQ(d.height, c.height ? c.height : c.movie.header[2]);
    EXPECT_EQ(d.frames, c.movie.records.size());
    EXPECT_EQ(d.pictures, c.pictures);
    if (!c.refused.empty()) {
      EXPECT_EQ(d.refused, c.refused);
    }
    for (size_t r = 0; r < c.palettes.size(); ++r) {
      std::array<uint8_t, 768> want{};
      for (auto [at, value] : c.palettes[r])
        want[at] = value;
      EXPECT_EQ(d.palettes[r], want) << "record " << r;
      EXPECT_EQ(d.palette_changed[r], r < 2) << "record " << r;
    }
    if (c.period) {
      EXPECT_EQ(d.period, *c.period);
    }
  }
}

// A frame with one sound chunk for track t (frame type bit t + 1).
Bytes sound_movie(uint32_t track, uint32_t format, uint32_t largest, const Bytes &chunk) {
  HandMovie m = void_movie();
  m.header[6 + track] = largest;
  m.header[18 + track] = format;
  return m.add(static_cast<uint8_t>(2u << track), chunk).file();
}

Bytes chunk(int32_t decoded, const Bits &data) {
  Bytes c;
  vex::testkit::append_le32(c, static_cast<uint32_t>(data.bytes().size() + 8));
  vex::testkit::append_le32(c, static_cast<uint32_t>(decoded));
  c.insert(c.end(), data.bytes().begin(), data.bytes().end());
  return c;
}

constexpr uint32_t kDelta = 0x80000000u | 11025;

TEST(KorvaneHandMade, SoundChunksByHand) {
  const Bytes raw = {9, 0, 0, 0, 1, 2, 3, 4, 5};
  Bits mono8, mono16, stereo8, stereo16;
  mono8.put(0b001, 3).put(1, 1).put(1, 1).put(0, 1).put(1, 8).put(0, 1).put(0xFF, 8).put(0, 1);
  mono8.put(100, 8).put(0, 1).put(0, 1).put(1, 1);
  mono16.put(0b101, 3).put(1, 1).byte_leaf(0x10).put(1, 1).byte_leaf(0x01).put(0xFF, 8).put(0xF0, 8);
  stereo8.put(0b011, 3).put(1, 1).byte_leaf(2).put(1, 1).byte_leaf(0xFF).put(50, 8).put(10, 8);
  stereo16.put(0b111, 3).put(1, 1).byte_leaf(0x01).put(1, 1).byte_leaf(0x00).put(1, 1).byte_leaf(0xFF);
  stereo16.put(1, 1).byte_leaf(0xFF).put(0x12, 8).put(0x34, 8).put(0, 16); // right 0x1234, left 0
  const struct {
    const char *name;
    uint32_t track, format, largest;
    Bytes chunk;
    int32_t result;
    Bytes sound = {};
  } cases[] = {
      {"8-bit mono: deltas +1, +1, -1 from 100", 4, kDelta, 4, chunk(4, mono8), 4, Bytes{100, 101, 102, 101}},
      {"16-bit mono: start 0xFFF0 sent high byte first, deltas of 0x0110 wrap", 0, kDelta | 1u << 29, 6,
       chunk(6, mono16), 6, Bytes{0xF0, 0xFF, 0x00, 0x01, 0x10, 0x02}},
      {"8-bit stereo: the right channel's start comes first", 6, kDelta | 1u << 28, 6, chunk(6, stereo8), 6,
       Bytes{10, 50, 12, 49, 14, 48}},
      {"16-bit stereo: left low, left high, right low, right high trees", 2, kDelta | 3u << 28, 8, chunk(8, stereo16),
       8, Bytes{0x00, 0x00, 0x34, 0x12, 0x01, 0x00, 0x33, 0x12}},
      {"no data present", 1, kDelta, 64, chunk(10, Bits().put(0, 1)), 0},
      {"decoded size 0", 1, kDelta, 64, chunk(0, {}), 0},
      {"decoded size -1", 1, kDelta, 64, chunk(-1, {}), -1},
      {"decoded size over the track's largest", 1, kDelta, 3,
       chunk(4, Bits().put(0b001, 3).put(1, 1).byte_leaf(1).put(0, 8)), 0},
      {"raw PCM is copied", 3, 22050, 5, raw, 5, Bytes{1, 2, 3, 4, 5}},
      {"raw PCM over the track's largest", 3, 22050, 4, raw, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    vex::file::ByteSource source;
    const Bytes file = sound_movie(c.track, c.format, c.largest, c.chunk);
    source.open(file);
    KORVA *k = KorvaOpen(std::move(source), 0);
    ASSERT_NE(k, nullptr);
    Bytes out(c.largest + 8, 0xCD);
    const int32_t n = KorvaGetSound(k, out.data(), kv::kTrackBit << c.track);
    KorvaClose(k);
    EXPECT_EQ(n, c.result);
    out.resize(std::max(n, 0));
    EXPECT_EQ(out, c.sound);
  }
}

TEST(KorvaneDebugSetting, IniValuesAsTheProfileReaderTakesThem) {
  using vex::util::ini_int;
  const std::string text = "; comment\n[Other]\nDebug=7\n[ korvane ]\r\n  debug = 1 \r\nx=2\n";
  // The last row's key comes before any section.
  const struct {
    std::string text;
    const char *section, *key;
    int fallback, want;
  } cases[] = {{text, "Korvane", "Debug", 0, 1},          {text, "Other", "DEBUG", 0, 7},
               {text, "Korvane", "Missing", 5, 5},        {"[Korvane]\nDebug=12abc\n", "Korvane", "Debug", 0, 12},
               {"[Korvane]\nDebug=abc\n", "Korvane", "Debug", 3, 0},
               {"[Korvane]\nDebug=-4\n", "Korvane", "Debug", 0, -4},
               {"Debug=1\n[Korvane]\n", "Korvane", "Debug", 9, 9}};
  for (const auto &c : cases)
    EXPECT_EQ(ini_int(c.text, c.section, c.key, c.fallback), c.want) << c.text << c.key;
}

// The "Debug" setting: the environment beats the ini file and only a low
// byte of 1 logs; the lines go to stderr, or to the sink when there is one.
class KorvaneLogging : public ::testing::Test {
protected:
  void set(const char *value) {
    if (value)
      setenv("VEXUTIL_KORVANE_DEBUG", value, 1);
    else
      unsetenv("VEXUTIL_KORVANE_DEBUG");
    kv::reload_debug_setting();
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    set(nullptr);
    VEXSetDiagnosticSink(nullptr, nullptr);
  }
  vex::testkit::TempDir dir;
};

TEST_F(KorvaneLogging, SettingFromTheEnvironmentOrTheIniFile) {
  std::ofstream(dir.file("vexutil.ini")) << "[Korvane]\nDebug=1\n";
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  for (auto [value, logs] : {std::pair<const char *, bool>{nullptr, true}, {"0", false}, {"257", true}, {"2", false}}) {
    set(value);
    EXPECT_EQ(kv::log_enabled(), logs) << (value ? value : "ini file");
  }
}

void collect(void *user, const char *line) { static_cast<std::vector<std::string> *>(user)->push_back(line); }

TEST_F(KorvaneLogging, OpensAndClosesSayWhatHappened) {
  const std::string good = dir.file("h.kvn"), junk = dir.file("junk.kvn"), missing = dir.file("missing.kvn");
  vex::testkit::write_file(good, void_movie().add(0, {}).file());
  vex::testkit::write_file(junk, Bytes(200, 'x'));
  set("1");
  testing::internal::CaptureStderr();
  KORVA *k = KorvaOpen(vex::testkit::source_of(good), 0);
  KorvaClose(k);
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing), 0), nullptr);
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(junk), 0), nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_NE(k, nullptr);
  const std::string h = std::to_string(reinterpret_cast<uintptr_t>(k));
  EXPECT_EQ(err.rfind("KorvaOpen - file: " + good + "\n", 0), 0u) << err;
  vex::testkit::expect_contains(err, {"KorvaOpen returned: " + h + "\n", "KorvaClose: " + h + "\n",
                                      "KorvaOpen - file: " + missing + "\nCouldn't open the Korvane file\n",
                                      "Wasn't a Korvane file\n"});
  // With a sink the lines go there and not to stderr; the setting still
  // decides whether Korvane speaks at all, and the reason is kept anyway.
  std::vector<std::string> lines;
  VEXSetDiagnosticSink(collect, &lines);
  testing::internal::CaptureStderr();
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing), 0), nullptr);
  set("0");
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing), 0), nullptr);
  VEXSetDiagnosticSink(nullptr, nullptr);
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(missing), 0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(lines, (std::vector<std::string>{"KorvaOpen - file: " + missing, "Couldn't open the Korvane file"}));
  EXPECT_STREQ(VEXLastError(), "no such file");
}

namespace trees {

using namespace vex::testkit::korvane;
using vex::formats::korvane::BitReader;
using vex::formats::korvane::Tree;

std::vector<uint32_t> values_below(uint32_t n) {
  std::vector<uint32_t> v(n);
  std::iota(v.begin(), v.end(), 0u);
  return v;
}

std::vector<size_t> message(const TreeShape &s, size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<size_t> m(n);
  for (auto &i : m)
    i = rng() % s.codes.size();
  return m;
}

// Byte trees at every table size; 16-bit trees, their leaves' bytes coded
// in flat byte trees, whose first three leaves (in pre-order, the order of
// s.values) are the escapes and decode as recent-value leaves.
TEST(KorvaneTree, RandomShapesDecodeEveryCode) {
  constexpr Split R = Split::random, S = Split::skewed, C = Split::chain;
  constexpr uint16_t esc[3] = {0x1234, 0xBEEF, 0x0000};
  std::vector<uint32_t> wide_values;
  for (uint32_t v : values_below(0x10000))
    if (std::find(std::begin(esc), std::end(esc), v) == std::end(esc))
      wide_values.push_back(v);
  const struct {
    bool wide;
    uint32_t leaves;
    unsigned depth;
    Split split;
    unsigned table; // lookup table bits, 0: 1, 4, 8 and 12 in turn
  } cases[] = {{false, 1, 1, R, 0},      {false, 2, 1, R, 0},      {false, 3, 2, S, 0},     {false, 17, 8, S, 0},
               {false, 100, 32, S, 0},   {false, 256, 8, R, 0},    {false, 256, 32, S, 0},  {false, 200, 12, R, 0},
               {false, 33, 64, C, 0},    {false, 34, 64, C, 0}, // chains of depth 32 and 33
               {true, 40000, 32, R, 16}, {true, 20000, 32, S, 16}, {true, 5000, 24, S, 12}, {true, 3, 2, R, 16}};
  uint32_t seed = 1;
  for (const auto &c : cases) {
    TreeShape s = random_tree_shape(c.leaves, c.depth, c.split, c.wide ? wide_values : values_below(256), seed++);
    Bits b;
    if (c.wide) {
      std::copy(esc, esc + std::min<size_t>(3, s.values.size()), s.values.begin());
      s.relabel();
      b.put(1, 1).put(1, 1);
      put_flat_byte_tree(b);
      b.put(1, 1);
      put_flat_byte_tree(b);
      for (uint16_t e : esc)
        b.put(e, 16);
    }
    put_tree_shape(b, s, c.wide ? 0 : 8);
    b.put(0, 1);
    const auto m = message(s, c.wide ? 60000 : 3000, seed++);
    for (size_t i : m)
      put_code(b, s.codes[i]);
    const bool too_deep = c.split == C && c.leaves - 1 > vex::formats::korvane::kMaxDepth;
    for (unsigned table_bits : c.table ? std::vector<unsigned>{c.table} : std::vector<unsigned>{1, 4, 8, 12}) {
      SCOPED_TRACE(testing::Message() << c.leaves << " leaves, depth " << c.depth << ", table " << table_bits);
      BitReader br(b.bytes().data(), b.bytes().data() + b.bytes().size());
      Tree t;
      ASSERT_EQ(c.wide ? t.read_wide_tree(br, table_bits) : t.read_byte_tree(br, table_bits), !too_deep);
      if (too_deep) {
        EXPECT_TRUE(t.empty());
        continue;
      }
      EXPECT_EQ(t.leaves(), c.leaves);
      size_t wrong = 0;
      for (size_t i : m) {
        const auto k = c.wide ? std::find(std::begin(esc), std::end(esc), s.values[i]) - std::begin(esc) : 3;
        const uint32_t want = k < 3 ? (vex::formats::korvane::kLeafRecent + uint32_t(k)) << 16 : s.values[i];
        wrong += (c.wide ? t.decode(br) : t.decode(br) & 0xFF) != want;
      }
      EXPECT_EQ(wrong, 0u);
      EXPECT_FALSE(br.overrun());
    }
  }
}

} // namespace trees
} // namespace

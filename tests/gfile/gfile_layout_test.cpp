// The public GFILE and GFILEOPTIONS records: their fields in the
// documented order and widths. The expected offsets are laid out here from
// the list of fields (bytes, alignment), independently of the header; the
// C compiler's layout is checked against them. Then GFileOpenWith against
// GFileOpen with the same options, and its rule for the struct's size.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/record_layout.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"
#include "vexutil/gfile.h"

extern "C" const size_t gfile_c_offsets[];
extern "C" const size_t gfile_c_offset_count;
extern "C" const size_t gfile_options_c_offsets[];
extern "C" const size_t gfile_options_c_offset_count;
extern "C" const GFILEOPTIONS gfile_options_c_init;
extern "C" const size_t gfileinfo_c_offsets[];
extern "C" const size_t gfileinfo_c_offset_count;

namespace {

using vex::testkit::FieldSize;

// Fields 1-34 (pairs such as output width, height are one numbered field of
// two words), then the working-state pointer.
const FieldSize kFields[] = {
    {128, 1}, {128, 1}, {4, 4}, {4, 4},   {4, 4},   {8, 4}, {8, 4}, {4, 4}, {4, 4}, {8, 4},
    {8, 4},   {8, 4},   {4, 4}, {4, 4},   {4, 4},   {4, 4}, {4, 4}, {4, 4}, {4, 4}, {8, 8} /* output buffer pointer */,
    {4, 4},   {4, 4},   {4, 4}, {4, 4},   {768, 1}, {4, 4}, {4, 4}, {8, 4}, {8, 4}, {8, 4},
    {8, 4},   {8, 4},   {4, 4}, {768, 1}, {8, 8} /* working state */};

TEST(GfileLayout, FieldsLieWhereTheListPutsThem) {
  const std::vector<size_t> want = vex::testkit::laid_out_offsets(kFields);
  ASSERT_EQ(gfile_c_offset_count, want.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(gfile_c_offsets[i], want[i]) << "field " << i + 1;
  // Spot checks by hand: the type name after the 128-character name, the
  // output buffer on its 8-byte boundary after the depths, the two
  // palettes of 768 bytes.
  EXPECT_EQ(want[1], 128u);
  EXPECT_EQ(want[19], 344u);
  EXPECT_EQ(want[24], 368u);
  EXPECT_EQ(want[33], 1188u);
  EXPECT_EQ(want.back(), 1968u);
  EXPECT_EQ(sizeof(GFILE), want.back());
}

// Fields 1-17 of GFILEOPTIONS (the rate, crop and range pairs one field of
// two words each): 19 words, then three pointers from offset 80.
const FieldSize kOptionFields[] = {{4, 4}, {4, 4}, {8, 4}, {8, 4}, {8, 4}, {8, 4}, {8, 4}, {4, 4}, {4, 4},
                                   {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {8, 8}, {8, 8}, {8, 8}};

TEST(GfileLayout, OptionsLieWhereTheListPutsThemAndStartAtTheDefaults) {
  const std::vector<size_t> want = vex::testkit::laid_out_offsets(kOptionFields);
  ASSERT_EQ(gfile_options_c_offset_count, want.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(gfile_options_c_offsets[i], want[i]) << "field " << i + 1;
  EXPECT_EQ(want[14], 80u);
  EXPECT_EQ(want.back(), 104u);
  EXPECT_EQ(sizeof(GFILEOPTIONS), want.back());
  // The macro in C and in C++: the size, 256 entries, everything else zero.
  for (const GFILEOPTIONS &o : {gfile_options_c_init, GFILEOPTIONS(GFILEOPTIONS_INIT)}) {
    EXPECT_EQ(o.size, sizeof(GFILEOPTIONS));
    EXPECT_EQ(o.palette_entries, 256);
    const int64_t words[] = {o.flags,  o.play_num,     o.play_den,       o.out_num,        o.out_den,
                             o.crop_x, o.crop_y,       o.crop_width,     o.crop_height,    o.first,
                             o.last,   o.palette_mode, o.palette_period, o.first_index,    o.palette_split,
                             o.system_colours, o.promotion};
    for (const int64_t w : words)
      EXPECT_EQ(w, 0);
    EXPECT_TRUE(!o.palette_file && !o.label && !o.callback);
  }
}

using namespace gfile_test;

// Every frame, palette and message of a source, and its record's counts.
struct Delivered {
  std::vector<std::vector<uint8_t>> frames, palettes;
  std::vector<std::pair<std::string, int>> heard;
  std::vector<int32_t> counts;
  bool operator==(const Delivered &) const = default;
};
Delivered run(GFILE *g) {
  Delivered r;
  EXPECT_NE(g, nullptr) << VEXLastError();
  if (!g)
    return r;
  r.counts = {g->width, g->height, g->pitch, g->true_colour, g->frame_count, g->output_frames, g->depth};
  for (int i = 0; i < g->output_frames && GFileGet(g) == 1; ++i) {
    r.frames.push_back(output(*g));
    r.palettes.push_back(palette(*g));
  }
  r.heard = messages();
  messages().clear();
  GFileClose(g);
  return r;
}

TEST(GfileOpenWith, GivesWhatGfileOpenGivesForTheSameOptions) {
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("m.avi"), png = dir.file("p.png");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=40x30:rate=10:duration=1.2 -c:v rawvideo -pix_fmt bgr24 " + avi);
  vex::testkit::ffmpeg("-f lavfi -i mandelbrot=size=40x30 -frames:v 1 -update 1 " + png);
  const auto with = [](GFILEOPTIONS o) {
    o.callback = record_message;
    return o;
  };
  GFILEOPTIONS colour = GFILEOPTIONS_INIT, analysed = GFILEOPTIONS_INIT, from_file = GFILEOPTIONS_INIT;
  colour.flags = GFILE_TRUE_COLOUR;
  colour.play_num = 10, colour.play_den = 1, colour.out_num = 15, colour.out_den = 1;
  colour.crop_x = -4, colour.crop_y = 3, colour.crop_width = 30, colour.crop_height = 20;
  colour.first = 2, colour.last = 9;
  analysed.palette_mode = 1, analysed.palette_period = 3, analysed.first_index = 20, analysed.palette_entries = 100;
  analysed.palette_split = 10, analysed.system_colours = 1, analysed.promotion = 1, analysed.label = "Named";
  from_file.palette_file = png.c_str();
  from_file.system_colours = 2;
  for (const GFILEOPTIONS &o : {with(GFILEOPTIONS(GFILEOPTIONS_INIT)), with(colour), with(analysed), with(from_file)}) {
    messages().clear();
    const Delivered want = run(GFileOpen(avi.c_str(), o.flags, o.play_num, o.play_den, o.out_num, o.out_den, o.crop_x,
                                         o.crop_y, o.crop_width, o.crop_height, o.first, o.last, o.palette_mode,
                                         o.palette_period, o.first_index, o.palette_entries, o.palette_split,
                                         o.system_colours, o.promotion, o.palette_file, o.label, o.callback));
    ASSERT_FALSE(want.frames.empty());
    EXPECT_TRUE(run(GFileOpenWith(avi.c_str(), &o)) == want) << "flags " << o.flags << " mode " << o.palette_mode;
  }
  // Null options are the defaults (without a callback).
  const Delivered plain = run(GFileOpenWith(avi.c_str(), nullptr));
  EXPECT_TRUE(plain == run(GFileOpen(avi.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr,
                                     nullptr, nullptr)));
  EXPECT_EQ(plain.frames.size(), 12u);
}

// A shorter struct than the first version is refused; a longer one is
// taken when the bytes past the known fields are zero (defaults of fields
// this library does not have) and refused otherwise.
TEST(GfileOpenWith, TheSizeFieldLetsTheStructGrow) {
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("m.avi");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=16x8:rate=10:duration=0.2 -c:v rawvideo -pix_fmt bgr24 " + avi);
  struct Newer {
    GFILEOPTIONS known;
    uint64_t later;
  };
  struct Row {
    uint32_t size;
    uint64_t later;
    bool opens;
  } rows[] = {{sizeof(GFILEOPTIONS), 0, true},    {sizeof(Newer), 0, true},   {sizeof(Newer), 1, false},
              {sizeof(GFILEOPTIONS) - 8, 0, false}, {0, 0, false}};
  for (const Row &r : rows) {
    Newer n{GFILEOPTIONS_INIT, r.later};
    n.known.size = r.size;
    n.known.flags = GFILE_TRUE_COLOUR;
    Source g(GFileOpenWith(avi.c_str(), &n.known));
    EXPECT_EQ(g != nullptr, r.opens) << "size " << r.size << " later " << r.later;
    if (g)
      EXPECT_EQ(g->true_colour, 1);
    else
      EXPECT_NE(std::string(VEXLastError()).find("options"), std::string::npos) << VEXLastError();
  }
  EXPECT_EQ(GFileOpenWith(nullptr, nullptr), nullptr);
}

// GFILEINFO: the codec name, three colour words, the sound flag, the sound
// codec name, four words and the 64-bit length on its 8-byte boundary.
TEST(GfileLayout, DescriptionFieldsLieWhereTheListPutsThem) {
  const FieldSize fields[] = {{32, 1}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {32, 1},
                              {4, 4},  {4, 4}, {4, 4}, {4, 4}, {8, 8}};
  const std::vector<size_t> want = vex::testkit::laid_out_offsets(fields);
  ASSERT_EQ(gfileinfo_c_offset_count, want.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(gfileinfo_c_offsets[i], want[i]) << "field " << i + 1;
  EXPECT_EQ(want[5], 48u);
  EXPECT_EQ(want[10], 96u);
  EXPECT_EQ(sizeof(GFILEINFO), 104u);
}

} // namespace

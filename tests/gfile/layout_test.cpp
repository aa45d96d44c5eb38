// The public GFILE, GFILEOPTIONS, GFILEINFO and OGFILE records: their
// fields in the documented order and widths. The expected offsets are laid out here
// from the list of fields (bytes, alignment), independently of the header;
// the C compiler's layout (gfile_offsets.c, ogfile_offsets.c) is checked against them. Then
// GFileOpenWith against GFileOpen with the same options, and its rule for
// the struct's size.
#include <gtest/gtest.h>

#include "testkit/util/record_layout.h"
#include "testkit/gfile/source_calls.h"
#include "vexutil/ogfile.h"

extern "C" const size_t gfile_c_offsets[], gfile_c_offset_count, gfile_options_c_offsets[], gfile_options_c_offset_count,
    gfileinfo_c_offsets[], gfileinfo_c_offset_count;
extern "C" const GFILEOPTIONS gfile_options_c_init;
extern "C" const size_t ogfile_c_offsets[], ogfile_c_offset_count;

namespace gfile_test {
namespace {

using vex::testkit::FieldSize;

TEST(GfileLayout, FieldsLieWhereTheListPutsThem) {
  const struct {
    const char *record;
    std::vector<FieldSize> fields;
    const size_t *c_offsets, &c_count;
    std::vector<std::pair<size_t, size_t>> by_hand; // field index, offset
  } rows[] = {
      // Fields 1-34 (pairs such as output width, height are one numbered field of two words),
      // then the working-state pointer: the type name after the 128-character name, the output
      // buffer on its 8-byte boundary after the depths, the two palettes of 768 bytes.
      {"GFILE",
       {{128, 1}, {128, 1}, {4, 4}, {4, 4}, {4, 4}, {8, 4}, {8, 4}, {4, 4}, {4, 4}, {8, 4}, {8, 4}, {8, 4},
        {4, 4},   {4, 4},   {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {8, 8}, {4, 4}, {4, 4}, {4, 4}, {4, 4},
        {768, 1}, {4, 4},   {4, 4}, {8, 4}, {8, 4}, {8, 4}, {8, 4}, {8, 4}, {4, 4}, {768, 1}, {8, 8}},
       gfile_c_offsets, gfile_c_offset_count, {{1, 128}, {19, 344}, {24, 368}, {33, 1188}, {35, 1968}}},
      // Fields 1-17 (the rate, crop and range pairs one field of two words each): 19 words,
      // then three pointers from offset 80.
      {"GFILEOPTIONS",
       {{4, 4}, {4, 4}, {8, 4}, {8, 4}, {8, 4}, {8, 4}, {8, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {4, 4},
        {4, 4}, {8, 8}, {8, 8}, {8, 8}},
       gfile_options_c_offsets, gfile_options_c_offset_count, {{14, 80}, {17, 104}}},
      // The codec name, three colour words, the sound flag, the sound codec name, four words and
      // the 64-bit length on its 8-byte boundary.
      {"GFILEINFO",
       {{32, 1}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {32, 1}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {8, 8}},
       gfileinfo_c_offsets, gfileinfo_c_offset_count, {{5, 48}, {10, 96}, {11, 104}}},
      // Runs of like members count as one entry (width, height and frame count are 12 bytes;
      // the three AVI stream pointers 24): the flags after the three names (128 + 128 + 256),
      // the callback on its 8-byte boundary, the wave format after the six sound counters, the
      // working-state pointer padded to 8.
      {"OGFILE",
       {{128, 1}, {128, 1}, {256, 1}, {4, 4}, {12, 4}, {8, 4}, {4, 4}, {4, 4}, {8, 4}, {4, 4}, {4, 4}, {4, 4},
        {8, 8},   {8, 8},   {56, 8} /* image descriptor */, {4, 4}, {8, 8}, {24, 8}, {4, 4}, {24, 8}, {8, 8},
        {24, 4},  {18, 1},  {8, 8}},
       ogfile_c_offsets, ogfile_c_offset_count, {{3, 512}, {12, 568}, {22, 744}, {23, 768}, {24, 776}}},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.record);
    const std::vector<size_t> want = vex::testkit::laid_out_offsets(r.fields); // then the size
    ASSERT_EQ(r.c_count, want.size());
    EXPECT_EQ(std::vector<size_t>(r.c_offsets, r.c_offsets + r.c_count), want);
    for (const auto &[field, offset] : r.by_hand)
      EXPECT_EQ(want[field], offset) << "field " << field + 1;
  }
  EXPECT_EQ((std::vector{sizeof(GFILE), sizeof(GFILEOPTIONS), sizeof(GFILEINFO), sizeof(OGFILE)}),
            (std::vector<size_t>{1968, 104, 104, 776}));
  // The macro in C and in C++: the size, 256 entries, everything else zero.
  for (const GFILEOPTIONS &o : {gfile_options_c_init, GFILEOPTIONS(GFILEOPTIONS_INIT)}) {
    EXPECT_EQ((std::vector<int64_t>{o.size, o.flags, o.play_num, o.play_den, o.out_num, o.out_den, o.crop_x, o.crop_y,
                                    o.crop_width, o.crop_height, o.first, o.last, o.palette_mode, o.palette_period,
                                    o.first_index, o.palette_entries, o.palette_split, o.system_colours, o.promotion}),
              (std::vector<int64_t>{104, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0}));
    EXPECT_TRUE(!o.palette_file && !o.label && !o.callback);
  }
}

// Every frame, palette and message of a source, and its record's counts.
std::string run(GFILE *g, MessageLog &log) {
  if (!g)
    return std::string("refused: ") + VEXLastError();
  std::string r = std::to_string(g->width) + " " + std::to_string(g->height) + " " + std::to_string(g->pitch) + " " +
                  std::to_string(g->true_colour) + " " + std::to_string(g->frame_count) + " " +
                  std::to_string(g->output_frames) + " " + std::to_string(g->depth) + "\n";
  for (int i = 0; i < g->output_frames && GFileGet(g) == 1; ++i) {
    const auto px = output(*g), pal = palette(*g);
    r += std::string(px.begin(), px.end()) + std::string(pal.begin(), pal.end());
  }
  GFileClose(g);
  for (const std::string &m : heard(log))
    r += m + "\n";
  log.clear();
  return r;
}

TEST(GfileOpenWith, GivesWhatGfileOpenGivesForTheSameOptions) {
  TempDir dir;
  const std::string avi = tool_file(dir, "m.avi", "testsrc=size=40x30:rate=10:duration=1.2", "-c:v rawvideo -pix_fmt bgr24");
  const std::string png = tool_file(dir, "p.png", "mandelbrot=size=40x30", "-frames:v 1 -update 1");
  GFILEOPTIONS colour = GFILEOPTIONS_INIT, analysed = GFILEOPTIONS_INIT, from_file = GFILEOPTIONS_INIT,
               plain = GFILEOPTIONS_INIT;
  colour.flags = kTrue;
  colour.play_num = 10, colour.play_den = 1, colour.out_num = 15, colour.out_den = 1;
  colour.crop_x = -4, colour.crop_y = 3, colour.crop_width = 30, colour.crop_height = 20;
  colour.first = 2, colour.last = 9;
  analysed.palette_mode = 1, analysed.palette_period = 3, analysed.first_index = 20, analysed.palette_entries = 100;
  analysed.palette_split = 10, analysed.system_colours = 1, analysed.promotion = 1, analysed.label = "Named";
  from_file.palette_file = png.c_str();
  from_file.system_colours = 2;
  MessageLog log;
  for (GFILEOPTIONS o : {plain, colour, analysed, from_file}) {
    o.callback = MessageLog::callback;
    const std::string want = run(GFileOpen(avi.c_str(), o.flags, o.play_num, o.play_den, o.out_num, o.out_den, o.crop_x,
                                           o.crop_y, o.crop_width, o.crop_height, o.first, o.last, o.palette_mode,
                                           o.palette_period, o.first_index, o.palette_entries, o.palette_split,
                                           o.system_colours, o.promotion, o.palette_file, o.label, o.callback), log);
    EXPECT_GT(want.size(), 40u * 30u);
    EXPECT_EQ(run(GFileOpenWith(avi.c_str(), &o), log), want) << "flags " << o.flags << " mode " << o.palette_mode;
  }
  // Null options are the defaults (without a callback).
  EXPECT_EQ(run(GFileOpenWith(avi.c_str(), nullptr), log),
            run(GFileOpen(avi.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr, nullptr), log));
  EXPECT_EQ(frames(avi).size(), 12u);
  // A shorter struct than the first version is refused; a longer one is
  // taken when the bytes past the known fields are zero (defaults of
  // fields this library does not have) and refused otherwise.
  struct Newer {
    GFILEOPTIONS known;
    uint64_t later;
  };
  const struct {
    uint32_t size;
    uint64_t later;
    bool opens;
  } sizes[] = {{sizeof(GFILEOPTIONS), 0, true}, {sizeof(Newer), 0, true}, {sizeof(Newer), 1, false},
               {sizeof(GFILEOPTIONS) - 8, 0, false}, {0, 0, false}};
  for (const auto &r : sizes) {
    Newer n{GFILEOPTIONS_INIT, r.later};
    n.known.size = r.size;
    n.known.flags = kTrue;
    Source g(GFileOpenWith(avi.c_str(), &n.known));
    EXPECT_EQ(g != nullptr, r.opens) << "size " << r.size << " later " << r.later;
    if (g)
      EXPECT_EQ(g->true_colour, 1);
    else
      EXPECT_NE(std::string(VEXLastError()).find("options"), std::string::npos) << VEXLastError();
  }
  EXPECT_EQ(GFileOpenWith(nullptr, nullptr), nullptr);
}

} // namespace
} // namespace gfile_test

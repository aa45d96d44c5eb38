// Each reader we own goes to the file system once per open: its open, the
// first frames, a seek back and the close all read through the one
// descriptor the open made. (A FLIC name without an extension may try
// ".flc" and ".fli"; these names are complete.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file/os_file.h"
#include "formats/korvane/korvane.h"
#include "formats/tolm/tolm_reader.h"
#include "stills/still_image.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"

namespace {

namespace tolm = vex::formats::tolm;

vex::testkit::PatternAnimation pattern(uint32_t width, uint32_t height, uint32_t frames) {
  vex::testkit::PatternOptions o;
  o.width = width;
  o.height = height;
  o.frames = frames;
  return vex::testkit::PatternAnimation(o);
}

// Opens made while `use` ran.
template <class Use> uint64_t opens_during(Use use) {
  const uint64_t before = vex::file::open_count();
  use();
  return vex::file::open_count() - before;
}

class ReaderOpens : public ::testing::Test {
protected:
  vex::testkit::TempDir dir;
};

TEST_F(ReaderOpens, MoviesOpenTheirFileOnce) {
  ASSERT_NE(vex::testkit::write_flc(pattern(62, 40, 5), 50, dir.file("a.flc")), 0u);
  ASSERT_FALSE(vex::testkit::write_fli(pattern(62, 40, 5), 5, dir.file("a.fli")).empty());
  for (const std::string &name : {dir.file("a.flc"), dir.file("a.fli")}) {
    bool opened = false;
    EXPECT_EQ(opens_during([&] {
                VEXFLIC *h = VEXFlicOpen(name.c_str());
                if (!h)
                  return;
                opened = true;
                std::vector<uint8_t> buf(size_t{h->pitch} * h->buffer_height);
                for (int f = 0; f < 7; ++f) // past the end and round again
                  VEXFlicGetNext(h, buf.data());
                VEXFlicGoto(h, 2, buf.data());
                VEXFlicClose(h);
              }),
              1u)
        << name;
    EXPECT_TRUE(opened) << name;
  }

  // A Tolm movie small enough to be preloaded, and one read through the ring.
  for (uint32_t frames : {4u, 60u}) {
    vex::testkit::tolm::RandomMovieOptions o;
    o.frames = frames;
    o.key_interval = 3;
    const std::string name = dir.file("m" + std::to_string(frames) + ".tlm");
    vex::testkit::tolm::write_movie(name, vex::testkit::tolm::random_movie(o).movie);
    bool opened = false;
    EXPECT_EQ(opens_during([&] {
                tolm::TOLM *t = tolm::TolmOpen(name.c_str(), 0x8104000);
                if (!t)
                  return;
                opened = true;
                for (int f = 0; f < 5; ++f) {
                  tolm::TolmDoFrame(t);
                  tolm::TolmNextFrame(t);
                }
                tolm::TolmGoto(t, 1, 1);
                tolm::TolmDoFrame(t);
                tolm::TolmClose(t);
              }),
              1u)
        << name;
    EXPECT_TRUE(opened) << name;
  }

  // Korvane whole in memory and through its window.
  vex::testkit::PatternOptions po;
  po.width = 64;
  po.height = 48;
  po.frames = 6;
  const auto written = vex::testkit::korvane::write_korvane(
      vex::testkit::korvane::pattern_frames(vex::testkit::PatternAnimation(po)), {}, dir.file("k.kvn"));
  ASSERT_TRUE(written.ok) << written.error;
  for (uint32_t buffer : {0u, 1u << 22}) {
    bool opened = false;
    EXPECT_EQ(opens_during([&] {
                KORVA *k = KorvaOpen(dir.file("k.kvn").c_str(), 0, buffer);
                if (!k)
                  return;
                opened = true;
                std::vector<uint8_t> picture(size_t{k->width} * k->height);
                for (int f = 0; f < 4; ++f) {
                  KorvaDoFrame(k);
                  KorvaToBuffer(k, 0, 0, k->width, k->height, picture.data(), 0);
                  KorvaNextFrame(k);
                }
                KorvaClose(k);
              }),
              1u)
        << "buffer " << buffer;
    EXPECT_TRUE(opened) << "buffer " << buffer;
  }
}

TEST_F(ReaderOpens, StillsOpenTheirFileOncePerCall) {
  using namespace vex::stills;
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 37, 21, 8), 0);
  for (uint32_t i = 0; i < im.size; ++i)
    im.pixels[i] = static_cast<uint8_t>(i * 7);
  const struct {
    Format format;
    const char *name;
  } kinds[] = {{Format::bmp, "s.bmp"}, {Format::pcx, "s.pcx"}, {Format::tga, "s.tga"}};
  for (const auto &k : kinds)
    ASSERT_EQ(StillSave(k.format, dir.file(k.name).c_str(), &im, 1), 0) << k.name;
  StillFree(&im);
  for (const auto &k : kinds) {
    const std::string name = dir.file(k.name);
    Info info{};
    EXPECT_EQ(opens_during([&] { EXPECT_EQ(StillInfo(k.format, name.c_str(), &info), 0); }), 1u) << k.name;
    Image out{};
    ASSERT_EQ(StillAlloc(&out, info.width, info.height, 24), 0);
    EXPECT_EQ(opens_during([&] { EXPECT_EQ(StillLoad(k.format, name.c_str(), &out), 0); }), 1u) << k.name;
    StillFree(&out);
  }
}

} // namespace

// The testkit's cache of files the ffmpeg tool makes from its generated
// sources: which commands it keys and which it refuses (anything that could
// read a file), and that a stored output comes back byte for byte only
// while the key beside it matches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "testkit/util/ffmpeg_made_cache.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"

namespace {

namespace cache = vex::testkit::made_cache;
using vex::testkit::TempDir;

std::optional<cache::Entry> entry(const std::string &args) {
  std::string why;
  return cache::entry_for(args, why);
}

TEST(FfmpegMadeCache, KeysGeneratedSourcesAndRefusesWhatMayReadAFile) {
  const std::string make = "-f lavfi -i testsrc=size=32x24:rate=10 -frames:v 3 -c:v rawvideo ";
  const auto a = entry(make + "/tmp/x/a.avi"), b = entry(make + "/tmp/y/b.avi"), c = entry(make + "/tmp/x/a.mov"),
             d = entry("-f lavfi -i testsrc=size=32x24:rate=10 -frames:v 4 -c:v rawvideo /tmp/x/a.avi");
  ASSERT_TRUE(a && b && c && d);
  EXPECT_EQ(a->output, "/tmp/x/a.avi");
  EXPECT_EQ(a->stored, b->stored) << "the output's folder and name are not part of the key";
  EXPECT_NE(a->stored, c->stored) << "its extension is";
  EXPECT_NE(a->stored, d->stored);
  EXPECT_NE(a->key.find("-frames:v\n3\n"), std::string::npos) << a->key;

  for (const auto &[args, why] : std::vector<std::pair<std::string, std::string>>{
           {"-i in.avi -c:v rawvideo out.avi", "an input file"},
           {"-f lavfi -i testsrc -i in.wav out.avi", "an input file"},
           {"-f lavfi -i movie=in.avi out.avi", "it may read a file: movie=in.avi"},
           {"-f lavfi -i testsrc -vf subtitles=a/b.srt out.avi", "it may read a file: subtitles=a/b.srt"},
           {"-f lavfi -i testsrc -passlogfile x -pass 1 out.avi", "it may read a file: -passlogfile"},
           {"-f lavfi -i testsrc out%03d.png", "not one plain output file"},
           {"-f lavfi -i testsrc -f null -", "not one plain output file"},
           {"-f lavfi -i '$x out.avi", "quoting or no output"},
           {"out.avi", "quoting or no output"}}) {
    std::string said;
    EXPECT_FALSE(cache::entry_for(args, said)) << args;
    EXPECT_EQ(said, why) << args;
  }
}

TEST(FfmpegMadeCache, StoredOutputsComeBackWhileTheirKeyMatches) {
  const TempDir store, work;
  ASSERT_EQ(setenv("VEX_FFMPEG_CACHE_DIR", store.file("cache").c_str(), 1), 0);
  auto e = entry("-f lavfi -i color=red:size=8x8 -frames:v 1 " + work.file("red.png"));
  ASSERT_TRUE(e);
  EXPECT_EQ(std::filesystem::path(e->stored).parent_path(), store.path() / "cache");
  EXPECT_FALSE(cache::fetch(*e)) << "nothing stored yet";

  const std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', 0, 1, 2, 3, 255};
  vex::testkit::write_file(e->output, bytes);
  cache::store(*e);
  std::filesystem::remove(e->output);
  ASSERT_TRUE(cache::fetch(*e));
  EXPECT_EQ(vex::testkit::read_file(e->output), bytes);
  EXPECT_EQ(vex::testkit::entry_names(store.path() / "cache").size(), 2u) << "the data and its key, no parts left";

  // Another command that lands on the same stored name (a hash collision)
  // must not take this output.
  cache::Entry other = *e;
  other.key += "-vf\nhflip\n";
  EXPECT_FALSE(cache::fetch(other));
  unsetenv("VEX_FFMPEG_CACHE_DIR");
}

} // namespace

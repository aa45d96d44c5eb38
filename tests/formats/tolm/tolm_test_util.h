// Shared by the Tolm tests: movies written to a temporary folder and
// opened as the graphics source opens them, and the last decoded frame as
// that source copies it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/tolm/tolm_reader.h"
#include "testkit/formats/tolm/tolm_harness.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace vex::tolm_test {

namespace tk = vex::testkit::tolm;
using namespace vex::formats::tolm;
using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kSourceFlags = 0x8104000; // what the graphics source passes

inline tk::RandomMovieOptions options(uint32_t width, uint32_t height, uint32_t frames, uint32_t key_interval = 0,
                                      uint32_t seed = 1) {
  tk::RandomMovieOptions o;
  o.width = width, o.height = height, o.frames = frames, o.key_interval = key_interval, o.seed = seed;
  return o;
}

// A movie in a file of its own, opened; closed at the end of the test.
class OpenMovie {
public:
  explicit OpenMovie(const Bytes &bytes, uint32_t flags = kSourceFlags, int32_t track_id = -1)
      : path_(dir_.file("movie.tlm")) {
    testkit::write_file(path_, bytes);
    t_ = TolmOpen(testkit::source_of(path_), flags, track_id);
  }
  ~OpenMovie() { TolmClose(t_); }
  OpenMovie(const OpenMovie &) = delete;
  OpenMovie &operator=(const OpenMovie &) = delete;
  TOLM *get() const { return t_; }
  TOLM *operator->() const { return t_; }
  const std::string &path() const { return path_; }

private:
  testkit::TempDir dir_;
  std::string path_;
  TOLM *t_ = nullptr;
};

// The last decoded frame as the graphics source takes it (copy type 5).
inline std::vector<uint32_t> copy_frame(TOLM *t, uint32_t flags = 5) {
  std::vector<uint32_t> out(size_t{t->output_width} * t->output_height, 0xDEADBEEF);
  EXPECT_EQ(TolmCopyToBuffer(t, out.data(), static_cast<int32_t>(4 * t->output_width),
                             static_cast<int32_t>(t->output_height), 0, 0, flags),
            0);
  return out;
}

} // namespace vex::tolm_test

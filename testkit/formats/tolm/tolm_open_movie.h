// A Tolm movie written to a temporary folder and opened as the graphics
// source opens it, for the life of the object; and the options of a
// random movie in one call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/tolm/tolm_reader.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace vex::testkit::tolm {

inline constexpr uint32_t kSourceFlags = 0x8104000; // what the graphics source passes

inline RandomMovieOptions options(uint32_t width, uint32_t height, uint32_t frames, uint32_t key_interval = 0,
                                  uint32_t seed = 1) {
  RandomMovieOptions o;
  o.width = width, o.height = height, o.frames = frames, o.key_interval = key_interval, o.seed = seed;
  return o;
}

// The reader is null when the open failed (TolmLastError says why).
class OpenMovie {
public:
  explicit OpenMovie(const std::vector<uint8_t> &bytes, uint32_t flags = kSourceFlags, int32_t track_id = -1)
      : path_(dir_.file("movie.tlm")) {
    write_file(path_, bytes);
    t_ = formats::tolm::TolmOpen(source_of(path_), flags, track_id);
  }
  ~OpenMovie() { formats::tolm::TolmClose(t_); }
  OpenMovie(const OpenMovie &) = delete;
  OpenMovie &operator=(const OpenMovie &) = delete;
  formats::tolm::TOLM *get() const { return t_; }
  formats::tolm::TOLM *operator->() const { return t_; }
  const std::string &path() const { return path_; }

private:
  TempDir dir_;
  std::string path_;
  formats::tolm::TOLM *t_ = nullptr;
};

} // namespace vex::testkit::tolm

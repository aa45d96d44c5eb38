// Writer of Tolm movies for tests, benchmarks and samples: header, the
// three track tables, the frame index with key bits, and frame records of
// sound packets followed by video data from the test frame encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/tolm/tolm_format.h"
#include "testkit/formats/tolm/tolm_plan.h"
#include "testkit/formats/tolm/tolm_random_plan.h"

namespace vex::testkit::tolm {

inline constexpr uint32_t kTrackStereo = formats::tolm::kTolmTrackStereo;
inline constexpr uint32_t kTrack16Bit = formats::tolm::kTolmTrack16Bit;
inline constexpr uint32_t kTrackDecodable = formats::tolm::kTolmTrackDecodable;

struct MovieTrack {
  uint32_t format = 0; // rate in bits 0-15, kTrack* bits
  uint32_t id = 0;
  // Decoded bytes of the largest packet (table 1); 0 lets the writer take
  // the largest decoded-size word of the packets.
  uint32_t decoded_size = 0;
  // Per frame: the whole packet (decoded-size word, then coded blocks);
  // empty for a frame without sound of this track. Missing entries count
  // as empty.
  std::vector<std::vector<uint8_t>> packets;
};

struct MovieFrame {
  std::vector<uint8_t> video;
  bool key = false;
};

struct Movie {
  char version = 'i'; // 'f', 'g', 'h' or 'i'
  uint32_t width = 0, height = 0;
  uint32_t rate_num = 15, rate_den = 1;
  uint32_t video_flags = 0; // kTolmVideoGrey, kTolmVideoAlpha, kTolmScaleMask (scaling mode)
  std::vector<MovieTrack> tracks;
  std::vector<MovieFrame> frames;
  uint32_t spare_index = 0; // index entries beyond the last frame (repeat its end)
};

// Offsets inside the bytes movie_bytes() makes, for tests that damage them.
struct MovieLayout {
  uint32_t index_at = 0;             // first index entry
  std::vector<uint32_t> record_at;   // per frame
  uint32_t size = 0;
};

std::vector<uint8_t> movie_bytes(const Movie &m, MovieLayout *layout = nullptr);

// Adds `tracks` sound tracks of plain packets, for checking that a reader
// hands them over whole: track i is 22050 Hz, 16-bit, decodable (stereo for
// track 1), ID 100 + 7 i; the packet of frame f is empty when f + i is 2
// modulo 3, else a decoded-size word of 40 + f and 4 f + i bytes more.
void add_packet_tracks(Movie &m, uint32_t tracks);
void write_movie(const std::string &path, const Movie &m);

// Whether frames of this version use signed colours (decoder flag 0x8000).
bool signed_colours(char version);

// A movie of random frame plans whose decoded pictures the encoder's model
// gives exactly (no transform or scaled blocks): key frames every
// `key_interval` frames (0: frame 1 only) use blocks that need no previous
// picture.
struct RandomMovieOptions {
  uint32_t width = 48, height = 32, frames = 6;
  uint32_t key_interval = 0;
  char version = 'i';
  bool alpha = false;
  bool grey = false; // luma only (video flag kTolmVideoGrey)
  uint32_t seed = 1;
};
struct ModelMovie {
  Movie movie;
  std::vector<Picture> pictures; // what decoding frame i+1 must give
};
ModelMovie random_movie(const RandomMovieOptions &options);

// A movie that codes `pictures` with the real-content encoder (key frames
// every key_interval frames, 0: only the first); pictures must share one
// size. The signed-colour form follows the version.
Movie encode_movie(const std::vector<Picture> &pictures, uint32_t width, uint32_t height, char version,
                   uint32_t key_interval, const RealOptions &options = {});

} // namespace vex::testkit::tolm

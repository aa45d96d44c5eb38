// Driving the Tolm frame decoder and movie reader from tests: the decoder
// with its bundle buffers over testkit pictures, comparison with the test
// encoder's model, frames assembled field by field, and the pixels a
// decoded picture must give through the YUV blitters.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/tolm/tolm_decoder.h"
#include "vexutil/formats.h"
#include "testkit/formats/tolm/tolm_bit_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_plan.h"

namespace vex::testkit::tolm {

// The frame decoder with its nine bundle buffers, filled with 0xCD so that
// nothing can rely on them starting out zero.
class FrameDecoder {
public:
  explicit FrameDecoder(uint32_t padded_width);
  // The call's arguments for decoding `data` as `plan` says into `target`
  // over `reference`; a block map, when asked for, is sized and zeroed.
  formats::tolm::TolmFrameArgs args(const FramePlan &plan, std::span<const uint8_t> data, Picture &target,
                                    const Picture &reference, std::vector<uint8_t> *block_map = nullptr) const;
  // Decodes; returns the fault bits.
  uint32_t decode(const FramePlan &plan, std::span<const uint8_t> data, Picture &target, const Picture &reference,
                  std::vector<uint8_t> *block_map = nullptr) const;
  void *const *bundles() const { return pointers_.data(); }

private:
  std::array<std::vector<uint8_t>, 9> storage_;
  std::array<void *, 9> pointers_{};
};

// A W x H picture (alpha plane optional) of seeded pseudo-random bytes.
Picture random_picture(uint32_t W, uint32_t H, bool alpha, uint32_t seed);

// Bytes where `decoded` differs from the model by more than the model's
// tolerance (distance taken modulo 256), with the text of the first few.
struct Mismatch {
  size_t count = 0;
  std::string first;
};
Mismatch compare(const ModelPicture &model, const Picture &decoded);

// The block map a plan implies: 1 for each 16 x 16 macroblock in which any
// decoded plane has a block that is not a skip.
std::vector<uint8_t> expected_block_map(const FramePlan &plan);

// Frame data assembled field by field for a luma-only frame: 23 code
// tables of the plain 4-bit code 0 first (clear() drops them), then what
// the test puts. data() prefixes the luma size word unless told not to.
struct HandFrame {
  BitWriter bits;
  HandFrame() { bits.put(0, 4 * 23); }
  HandFrame &put(uint32_t v, int n) { return bits.put(v, n), *this; }
  HandFrame &clear() { return bits = BitWriter(), *this; }
  // The five empty bundles read after the colours (patterns, x and y
  // offsets, intra and inter DC) of a plane at most 64 pixels wide.
  HandFrame &empty_after_colours() { return put(0, 50); }
  std::vector<uint8_t> data(bool size_word = true) const;
};

// A hand-made frame decoded into a W x H picture of random bytes (seed 9)
// over a random reference (seed 10); luma only unless the flags say more.
struct HandDecoded {
  uint32_t faults = 0;
  Picture picture, reference;
  std::vector<uint8_t> map;
};
HandDecoded decode_hand(std::span<const uint8_t> data, uint32_t width, uint32_t height = 8, uint32_t W = 16,
                        uint32_t H = 16, uint32_t decoder_flags = 0,
                        uint32_t video_flags = VEX_TOLM_VIDEO_NO_CHROMA);

// random_movie() kept for the life of the program: the test encoder is
// slow in sanitizer builds and many cases share a movie.
const ModelMovie &cached_random_movie(const RandomMovieOptions &options);

// What the 32-bit blitters make of picture `p` (w x h shown) in an
// out_w x out_h buffer, with the blitter flags given.
std::vector<uint32_t> blit_picture(const Picture &p, uint32_t w, uint32_t h, uint32_t out_w, uint32_t out_h,
                                   uint32_t flags, bool with_alpha);
// The pixels a reader copying with type 5 (no scaling) must give for
// decoded picture `p` of movie `m`: chroma swapped for versions 'f' and
// 'g', grey and alpha as the movie's flags say.
std::vector<uint32_t> expected_frame(const Movie &m, const Picture &p);

} // namespace vex::testkit::tolm

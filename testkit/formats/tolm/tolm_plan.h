// Test encoder of Tolm frames. A frame plan says, for every 8x8 block of
// every plane in the decoder's walk order, its block type and parameters;
// encode_frame() packs it into the video data of one frame, model_frame()
// gives the picture the decoder must produce from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/tolm/tolm_format.h"
#include "testkit/formats/tolm/tolm_bit_writer.h"

namespace vex::testkit::tolm {

using formats::tolm::BlockType;
using formats::tolm::kFill;
using formats::tolm::kInter;
using formats::tolm::kIntra;
using formats::tolm::kMotion;
using formats::tolm::kPattern;
using formats::tolm::kRaw;
using formats::tolm::kResidue;
using formats::tolm::kRun;
using formats::tolm::kScaled;
using formats::tolm::kSkip;

struct RunStep {
  bool same;      // one colour for the whole run (else one colour per pixel)
  uint8_t length; // 1-16 pixels
};

struct BlockPlan {
  uint8_t type = kSkip;
  uint8_t sub_type = kFill;     // scaled blocks (read in bands with row bit 3 clear)
  int8_t dx = 0, dy = 0;        // motion, residue, inter: -15..15
  uint8_t scan = 0;             // run blocks
  std::vector<RunStep> runs;    // run blocks; 63 or 64 pixels in all
  std::vector<uint8_t> colours; // fill 1, pattern 2, raw 64, run as consumed
  std::array<uint8_t, 8> pattern{}; // pattern rows, top first
  std::array<int32_t, 64> coef{};   // intra/inter, coding order; [0] is the DC
  uint8_t q = 0;                    // quantiser of intra/inter blocks
  std::array<int8_t, 64> residue{}; // residue blocks, coding order, -127..127
};

// One band of eight rows: the blocks in walk order. A scaled block stands
// for 16 pixels and appears in both bands it covers (only the first of them,
// rows 0, 16, 32, ..., decodes it).
using BandPlan = std::vector<BlockPlan>;

struct PlanePlan {
  uint32_t width8 = 0, height8 = 0;
  std::vector<BandPlan> bands;
};

enum PlaneIndex { kLuma, kChroma1, kChroma2, kAlpha };

struct FramePlan {
  uint32_t width = 0, height = 0;               // decoded picture size
  uint32_t padded_width = 0, padded_height = 0; // W, H
  std::array<PlanePlan, 4> planes;              // alpha used when has_alpha
  bool has_alpha = false;
  bool no_chroma = false;
  bool signed_colours = false; // decoder flag 0x8000: no luma size word, colours around 128
};

// How code tables are chosen: the cheapest, or a forced code with a forced
// way of writing the permutation.
struct TableChoice {
  int code = -1;       // -1: cheapest; 0-15 forces that prefix code
  int permutation = -1; // -1 cheapest; 0 explicit head; 1-4 merge form with 0-3 levels
};

struct EncodeOptions {
  TableChoice tables;
  bool greedy_chunks = true; // chunks span as many bands as fit; else one band each
  bool use_repeats = true;   // repeat symbols in block-type chunks
  bool use_fills = true;     // fill chunks when every element is equal
};

// Plane sizes of a frame: luma/alpha and chroma decoded areas.
uint32_t luma_width8(uint32_t width);
uint32_t chroma_width8(uint32_t width);

// A plan whose every block is `type` with default parameters.
FramePlan uniform_plan(uint32_t width, uint32_t height, uint8_t type);

// Packs the plan. Residues longer than the decoder's 128 events are cut
// (the plan is updated to what the decoder will see).
std::vector<uint8_t> encode_frame(FramePlan &plan, const EncodeOptions &options = {});

// The bits one transform block's coefficients (coding order, [0] not
// written) or one residue block's count and values take, appended to `out`;
// returns their number. The residue is cut to the decoder's 128 events as in
// encode_frame and updated to what the decoder will see.
size_t encode_coefficients(const std::array<int32_t, 64> &coef, BitWriter &out);
size_t encode_residue(std::array<int8_t, 64> &residue, BitWriter &out);

// A planar frame: luma W x H, two chroma planes W/2 x H/2, and an alpha
// plane W x H (empty when the frame has none).
struct Picture {
  uint32_t padded_width = 0, padded_height = 0;
  std::vector<uint8_t> yuv;
  std::vector<uint8_t> alpha;
  Picture() = default;
  Picture(uint32_t W, uint32_t H, bool with_alpha)
      : padded_width(W), padded_height(H), yuv(size_t{W} * H + 2 * size_t{W / 2} * (H / 2)),
        alpha(with_alpha ? size_t{W} * H : 0) {}
  uint8_t *plane(int p) {
    const size_t l = size_t{padded_width} * padded_height, c = size_t{padded_width / 2} * (padded_height / 2);
    return p == kAlpha ? alpha.data() : yuv.data() + (p == kLuma ? 0 : p == kChroma1 ? l : l + c);
  }
  const uint8_t *plane(int p) const { return const_cast<Picture *>(this)->plane(p); }
  uint32_t pitch(int p) const { return p == kChroma1 || p == kChroma2 ? padded_width / 2 : padded_width; }
};

// The picture the decoder must produce from `plan` over `previous`, starting
// from `initial` in the target buffer (blocks that write nothing keep it), and per
// pixel the tolerance: 0 where the result is exact, 2 inside transform blocks
// (modelled with a floating-point inverse transform).
struct ModelPicture {
  Picture picture;
  Picture tolerance;
};
ModelPicture model_frame(const FramePlan &plan, const Picture &previous, const Picture &initial);

// Orthonormal inverse DCT of coefficients given in coding order; the
// factors (in block order) relate the coded integers to the orthonormal
// coefficients by F = c * factor / (65536 * a(u) * a(v)), a(0) = 1,
// a(k) = sqrt(2) cos(k pi / 16). Pixel deltas in block order.
std::array<double, 64> float_idct(const std::array<int32_t, 64> &coded, const std::array<double, 64> &factor);

// Real-content mode: a plan that approximates `source`, given the previous
// decoded picture (null for a key frame), with quantiser q.
struct RealOptions {
  uint8_t q = 2;
  int search = 4;           // motion search range in pixels
  int skip_error = 2;       // largest pixel error accepted by skip, fill, motion, pattern
  int transform_error = 40; // past this a transform block becomes raw
};
FramePlan plan_from_picture(const Picture &source, const Picture *previous, uint32_t width, uint32_t height,
                            const RealOptions &options = {});

} // namespace vex::testkit::tolm

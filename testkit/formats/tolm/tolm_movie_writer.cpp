#include "testkit/formats/tolm/tolm_movie_writer.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

#include "formats/tolm/tolm_decoder.h"
#include "testkit/formats/tolm/tolm_frame_args.h"
#include "util/bytes.h"

namespace vex::testkit::tolm {
namespace {

void put32(std::vector<uint8_t> &out, uint32_t v) { util::append_le32(out, v); }
void set32(std::vector<uint8_t> &out, size_t at, uint32_t v) { util::put_le32(&out.at(at + 3) - 3, v); }
uint32_t get32(const std::vector<uint8_t> &v, size_t at) { return util::le32(&v.at(at + 3) - 3); }

const std::vector<uint8_t> &packet_of(const MovieTrack &t, size_t frame) {
  static const std::vector<uint8_t> none;
  return frame < t.packets.size() ? t.packets[frame] : none;
}

uint32_t table_size(const MovieTrack &t) {
  if (t.decoded_size)
    return t.decoded_size;
  uint32_t largest = 0;
  for (const auto &p : t.packets)
    if (p.size() >= 4)
      largest = std::max(largest, get32(p, 0));
  return largest;
}

std::vector<uint8_t> frame_record(const Movie &m, size_t f) {
  std::vector<uint8_t> r;
  for (const MovieTrack &t : m.tracks) {
    const auto &p = packet_of(t, f);
    put32(r, static_cast<uint32_t>(p.size()));
    r.insert(r.end(), p.begin(), p.end());
  }
  r.insert(r.end(), m.frames[f].video.begin(), m.frames[f].video.end());
  // Records start on word boundaries: bit 0 of an index entry is the key bit.
  r.resize((r.size() + 3) & ~size_t{3}, 0);
  return r;
}

// Colour 0 has no code around 128; the nearest codable colour is 1.
void make_codable(FramePlan &plan) {
  for (PlanePlan &p : plan.planes)
    for (BandPlan &band : p.bands)
      for (BlockPlan &b : band)
        std::replace(b.colours.begin(), b.colours.end(), uint8_t{0}, uint8_t{1});
}

// Decodes one frame as the reader does, for the encoder's next reference.
void decode_into(const FramePlan &plan, const std::vector<uint8_t> &data, Picture &target, const Picture &reference) {
  uint32_t sizes[formats::tolm::kTolmBundleCount];
  formats::tolm::TolmBundleSizes(sizes, plan.padded_width);
  std::vector<std::vector<uint8_t>> storage(formats::tolm::kTolmBundleCount);
  void *bundles[formats::tolm::kTolmBundleCount];
  for (int i = 0; i < formats::tolm::kTolmBundleCount; ++i) {
    storage[i].resize(sizes[i]);
    bundles[i] = storage[i].data();
  }
  const auto a = frame_args(target, reference, plan.width, plan.height, data, bundles,
                            (plan.signed_colours ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0) |
                                (plan.has_alpha ? VEX_TOLM_DECODE_ALPHA : 0),
                            plan.has_alpha ? VEX_TOLM_VIDEO_ALPHA : 0);
  if (formats::tolm::TolmExpandFrame(a) != 0)
    throw std::logic_error("the test encoder wrote a frame the decoder faults on");
}

// Block types whose result the model gives exactly.
RandomPlanOptions exact_plan_options(const std::vector<uint8_t> &types, const RandomMovieOptions &o) {
  RandomPlanOptions p;
  p.types = types;
  p.has_alpha = o.alpha;
  p.no_chroma = o.grey;
  p.signed_colours = signed_colours(o.version);
  return p;
}

} // namespace

bool signed_colours(char version) { return version == 'f' || version == 'g' || version == 'h'; }

std::vector<uint8_t> movie_bytes(const Movie &m, MovieLayout *layout) {
  const uint32_t n = static_cast<uint32_t>(m.tracks.size());
  const uint32_t frames = static_cast<uint32_t>(m.frames.size());
  const uint32_t index_count = frames + m.spare_index;
  namespace fmt = formats::tolm;
  std::vector<uint8_t> out(fmt::kMagic, fmt::kMagic + 3);
  out.push_back(static_cast<uint8_t>(m.version));
  for (uint32_t v : {0u, frames, 0u, index_count, m.width, m.height, m.rate_num, m.rate_den, m.video_flags, n})
    put32(out, v);
  for (const MovieTrack &t : m.tracks)
    put32(out, table_size(t));
  for (const MovieTrack &t : m.tracks)
    put32(out, t.format);
  for (const MovieTrack &t : m.tracks)
    put32(out, t.id);
  const size_t index_at = out.size();
  out.resize(out.size() + 4 * (size_t{index_count} + 1));
  if (layout) {
    layout->index_at = static_cast<uint32_t>(index_at);
    layout->record_at.clear();
  }
  uint32_t largest = 0;
  for (uint32_t f = 0; f < frames; ++f) {
    const auto record = frame_record(m, f);
    const auto at = static_cast<uint32_t>(out.size());
    if (layout)
      layout->record_at.push_back(at);
    set32(out, index_at + 4 * f, at | (m.frames[f].key ? fmt::kIndexKeyBit : 0u));
    largest = std::max(largest, static_cast<uint32_t>(record.size()));
    out.insert(out.end(), record.begin(), record.end());
  }
  for (uint32_t i = frames; i <= index_count; ++i)
    set32(out, index_at + 4 * i, static_cast<uint32_t>(out.size()));
  set32(out, fmt::kHdrSizeField, static_cast<uint32_t>(out.size() - 8));
  set32(out, fmt::kHdrLargestFrame, largest);
  if (layout)
    layout->size = static_cast<uint32_t>(out.size());
  return out;
}

void write_movie(const std::string &path, const Movie &m) {
  const auto bytes = movie_bytes(m);
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f)
    throw std::runtime_error("cannot write " + path);
}

void add_packet_tracks(Movie &m, uint32_t tracks) {
  for (uint32_t i = 0; i < tracks; ++i) {
    MovieTrack t;
    t.format = 22050 | kTrack16Bit | kTrackDecodable | (i == 1 ? kTrackStereo : 0);
    t.id = 100 + 7 * i;
    for (uint32_t f = 0; f < m.frames.size(); ++f) {
      std::vector<uint8_t> &p = t.packets.emplace_back();
      if ((f + i) % 3 == 2)
        continue;
      put32(p, 40 + f);
      for (uint32_t k = 0; k < 4 * f + i; ++k)
        p.push_back(static_cast<uint8_t>(f * 16 + i + k));
    }
    m.tracks.push_back(t);
  }
}

ModelMovie random_movie(const RandomMovieOptions &o) {
  ModelMovie mm;
  Movie &m = mm.movie;
  m.version = o.version;
  m.width = o.width;
  m.height = o.height;
  m.video_flags = (o.alpha ? formats::tolm::kTolmVideoAlpha : 0) | (o.grey ? formats::tolm::kTolmVideoGrey : 0);
  std::mt19937 rng(o.seed);
  const RandomPlanOptions key_options = exact_plan_options({kRun, kFill, kPattern, kRaw}, o);
  const RandomPlanOptions delta_options =
      exact_plan_options({kSkip, kMotion, kRun, kResidue, kFill, kPattern, kRaw}, o);
  const uint32_t W = (o.width + 15) & ~15u, H = (o.height + 15) & ~15u;
  Picture previous(W, H, o.alpha);
  for (uint32_t f = 0; f < o.frames; ++f) {
    const bool key = f == 0 || (o.key_interval && f % o.key_interval == 0);
    FramePlan plan = random_plan(o.width, o.height, rng, key ? key_options : delta_options);
    m.frames.push_back({encode_frame(plan), key});
    previous = model_frame(plan, previous, previous).picture;
    mm.pictures.push_back(previous);
  }
  return mm;
}

Movie encode_movie(const std::vector<Picture> &pictures, uint32_t width, uint32_t height, char version,
                   uint32_t key_interval, const RealOptions &options) {
  Movie m;
  m.version = version;
  m.width = width;
  m.height = height;
  if (pictures.empty())
    return m;
  const bool alpha = !pictures[0].alpha.empty();
  m.video_flags = alpha ? formats::tolm::kTolmVideoAlpha : 0;
  Picture decoded[2] = {Picture(pictures[0].padded_width, pictures[0].padded_height, alpha),
                        Picture(pictures[0].padded_width, pictures[0].padded_height, alpha)};
  for (size_t f = 0; f < pictures.size(); ++f) {
    const bool key = f == 0 || (key_interval && f % key_interval == 0);
    Picture &target = decoded[f & 1];
    const Picture &reference = decoded[(f + 1) & 1];
    FramePlan plan = plan_from_picture(pictures[f], key ? nullptr : &reference, width, height, options);
    plan.signed_colours = signed_colours(version);
    if (plan.signed_colours)
      make_codable(plan);
    auto data = encode_frame(plan);
    decode_into(plan, data, target, reference);
    m.frames.push_back({std::move(data), key});
  }
  return m;
}

} // namespace vex::testkit::tolm

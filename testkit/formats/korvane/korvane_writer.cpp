#include "testkit/formats/korvane/korvane_writer.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

#include "audio_codec/audio_codec.h"
#include "formats/korvane/korvane_format.h"
#include "testkit/audio_codec/codec_driver.h"
#include "testkit/formats/korvane/korvane_scratch.h"
#include "testkit/formats/korvane/korvane_sound_coder.h"
#include "util/bytes.h"
#include "vexutil/flic.h"
#include "vexutil/huff.h"

namespace vex::testkit::korvane {

namespace {

namespace kv = formats::korvane;
constexpr uint32_t kCompressed = kv::kSoundCompressed, kTransform = kv::kSoundTransform, kStereo = kv::kSoundStereo,
                   kSixteen = kv::kSound16Bit;

// One record's pieces before assembly.
struct Record {
  Bytes palette;
  std::array<Bytes, 7> sound;
  Bytes video;
};

// The four video trees: gathered over every record, written into the
// tree block, then used to code each record's operations.
class VideoTrees {
public:
  bool open() {
    for (auto &h : huff_) {
      h.reset(HuffOpen(0));
      if (!h)
        return false;
      HuffInitStats(h.get());
    }
    return true;
  }
  void gather(const std::vector<VideoOp> &ops) {
    for (auto &h : huff_)
      HuffInitLasts(h.get()); // the reader's recent values restart with every frame
    for (const VideoOp &op : ops)
      if (op.tree != kRawBit)
        HuffAddStat(huff_[op.tree].get(), op.value);
  }
  // Writes the tree block; its size words (the table sizes) go to sizes.
  bool write(VEXFILE *f, uint32_t *sizes) {
    for (size_t i = 0; i < huff_.size(); ++i) {
      HuffSetOutput(huff_[i].get(), f);
      const int32_t r = HuffStartEncode(huff_[i].get());
      if (r < 0)
        return false;
      sizes[i] = static_cast<uint32_t>(r);
    }
    return true;
  }
  void code(VEXFILE *f, const std::vector<VideoOp> &ops) {
    for (auto &h : huff_) {
      HuffSetOutput(h.get(), f);
      HuffInitLasts(h.get());
    }
    for (const VideoOp &op : ops) {
      if (op.tree == kRawBit)
        VEXFilePutBits(f, op.value, 1);
      else
        HuffEncode(huff_[op.tree].get(), op.value);
    }
  }

private:
  std::array<HuffPtr, 4> huff_; // mono map, mono colours, full, type
};

// The picture the reader shows for a stored picture, in a buffer that
// started as zeros: only whole blocks are coded, so the columns and rows
// past the last whole block stay 0.
Bytes shown(const Bytes &stored, uint32_t width, uint32_t height, uint32_t vertical) {
  const uint32_t coded_w = width / 4 * 4, coded_h = height / 4 * 4;
  Bytes out(size_t{width} * height * (vertical ? 2 : 1), 0);
  for (uint32_t y = 0; y < coded_h; ++y) {
    const uint8_t *row = &stored[size_t{y} * width];
    const size_t at = vertical ? size_t{2 * y} : y;
    std::memcpy(&out[at * width], row, coded_w);
    if (vertical == 4)
      std::memcpy(&out[(at + 1) * width], row, coded_w);
  }
  return out;
}

std::string check(const std::vector<Frame8> &frames, const MoviePlan &plan) {
  if (frames.empty())
    return "no frames";
  const uint32_t w = frames[0].width, h = frames[0].height;
  if (w == 0 || h == 0)
    return "width and height must be positive";
  for (const auto &f : frames)
    if (f.width != w || f.height != h || f.pixels.size() != size_t{w} * h)
      return "frames differ in size";
  if (plan.version != 2 && plan.version != 4)
    return "version must be 2 or 4";
  if (plan.vertical != 0 && plan.vertical != 2 && plan.vertical != 4)
    return "vertical mode must be 0, 2 or 4";
  for (const auto &t : plan.tracks) {
    if (!t)
      continue;
    if (t->frames.size() > frames.size())
      return "a track has more frames than the movie";
    const uint32_t align = (t->stereo ? 2u : 1u) * (t->sixteen || t->kind == SoundKind::transform ? 2u : 1u);
    for (const auto &p : t->frames)
      if (p.size() % align)
        return "a frame's sound is not whole sample frames";
    if (t->rate == 0 || t->rate > 0xFFFFFF)
      return "sample rate out of range";
  }
  return {};
}

uint32_t format_word(const TrackPlan &t) {
  uint32_t w = t.rate;
  if (t.stereo)
    w |= kStereo;
  if (t.sixteen || t.kind == SoundKind::transform)
    w |= kSixteen;
  if (t.kind != SoundKind::raw)
    w |= kCompressed;
  if (t.kind == SoundKind::transform)
    w |= kTransform;
  return w;
}

// Codes a transform track: one stream over all its frames; each frame
// holds the blocks that bring the decoded sound up to the PCM given up to
// that frame (the last frame takes the rest). The expected bytes come from
// the library's decoder run over the same blocks.
bool transform_track(const TrackPlan &t, size_t records, std::vector<Bytes> &chunks, std::vector<Bytes> &expect,
                     std::vector<int16_t> &coded) {
  const uint32_t channels = t.stereo ? 2 : 1;
  coded.clear();
  std::vector<size_t> upto;
  for (const auto &p : t.frames) {
    for (size_t i = 0; i + 1 < p.size(); i += 2)
      coded.push_back(static_cast<int16_t>(util::le16(&p[i])));
    upto.push_back(coded.size() * 2);
  }
  const CodedStream s = encode_stream(coded, t.rate, channels, t.quality);
  AUDIODEC *d = AudioDecOpen(t.rate, channels, 1);
  if (!d)
    return false;
  const size_t hop_bytes = size_t{s.n - s.overlap} * 2;
  size_t next = 0;
  for (size_t f = 0; f < t.frames.size(); ++f) {
    std::vector<Bytes> blocks;
    Bytes pcm;
    const bool last = f + 1 == t.frames.size();
    while (next < s.blocks.size() && (last || next * hop_bytes < upto[f])) {
      blocks.push_back(s.blocks[next].bytes);
      const int16_t *out = nullptr;
      uint32_t bytes = 0;
      const uint8_t *after = nullptr;
      AudioDecBlock(d, &out, &bytes, s.blocks[next].bytes.data(), static_cast<uint32_t>(s.blocks[next].bytes.size()),
                    &after);
      const auto *b = reinterpret_cast<const uint8_t *>(out);
      pcm.insert(pcm.end(), b, b + bytes);
      ++next;
    }
    if (!blocks.empty()) {
      chunks[f] = transform_chunk(blocks, static_cast<uint32_t>(pcm.size()));
      expect[f] = pcm;
    }
  }
  (void)records;
  AudioCodecFree(d);
  return true;
}

bool sound_tracks(const MoviePlan &plan, size_t records, const std::string &scratch, std::vector<Record> &recs,
                  WrittenMovie &m) {
  for (size_t t = 0; t < 7; ++t) {
    m.sound[t].assign(records, {});
    if (!plan.tracks[t])
      continue;
    const TrackPlan &tr = *plan.tracks[t];
    std::vector<Bytes> chunks(records), expect(records);
    if (tr.kind == SoundKind::transform) {
      if (!transform_track(tr, records, chunks, expect, m.coded_pcm[t]))
        return false;
    } else {
      for (size_t f = 0; f < tr.frames.size(); ++f) {
        const Bytes &p = tr.frames[f];
        if (p.empty())
          continue;
        chunks[f] = tr.kind == SoundKind::raw ? raw_chunk(p) : delta_chunk(p, tr.stereo, tr.sixteen, scratch);
        if (chunks[f].empty())
          return false;
        expect[f] = p;
      }
    }
    for (size_t f = 0; f < records; ++f)
      recs[f].sound[t] = std::move(chunks[f]);
    m.sound[t] = std::move(expect);
  }
  return true;
}

} // namespace

WrittenMovie write_korvane(const std::vector<Frame8> &frames, const MoviePlan &plan, const std::string &path) {
  WrittenMovie m;
  m.error = check(frames, plan);
  if (!m.error.empty())
    return m;
  const uint32_t w = frames[0].width, h = frames[0].height;
  const size_t count = frames.size(), records = count + (plan.ring ? 1 : 0);
  m.width = w;
  m.height = plan.vertical ? 2 * h : h;

  // Video operations and palettes per record; the ring record shows frame 0
  // again, coded from the last frame.
  std::vector<Record> recs(records);
  std::vector<std::vector<VideoOp>> ops(records);
  Bytes before(size_t{w} * h, 0);
  Palette768 held{};
  for (size_t r = 0; r < records; ++r) {
    const Frame8 &f = frames[r < count ? r : 0];
    const bool key = r == 0 || (r < count && plan.key_interval && r % plan.key_interval == 0);
    ops[r] = code_picture(f.pixels.data(), before.data(), w, h, key, plan.version == 4, m.blocks);
    before = f.pixels;
    const Palette768 want = representable(f.palette);
    m.palette_chunk.push_back(key || want != held);
    if (m.palette_chunk.back())
      recs[r].palette = palette_chunk(f.palette, held, key, m.palette_ops);
    held = want;
    m.pictures.push_back(shown(f.pixels, w, h, plan.vertical));
    m.palettes.push_back(held);
  }

  VideoTrees trees;
  ScratchBits tree_bits(path + ".trees.tmp"), video_bits(path + ".video.tmp");
  if (!trees.open() || !tree_bits.ok() || !video_bits.ok()) {
    m.error = "cannot open the encoders or scratch files";
    return m;
  }
  for (const auto &o : ops)
    trees.gather(o);
  uint32_t tree_sizes[4] = {};
  if (!trees.write(tree_bits.file(), tree_sizes)) {
    m.error = "a Huffman table failed";
    return m;
  }
  const Bytes tree_block = tree_bits.bytes();
  std::vector<uint32_t> ends;
  for (const auto &o : ops) {
    trees.code(video_bits.file(), o);
    ends.push_back(video_bits.align());
  }
  const Bytes video = video_bits.bytes();
  for (size_t r = 0; r < records; ++r) {
    const uint32_t from = r ? ends[r - 1] : 0;
    recs[r].video.assign(video.begin() + from, video.begin() + ends[r]);
  }
  if (!sound_tracks(plan, records, path + ".sound.tmp", recs, m)) {
    m.error = "a sound track failed";
    return m;
  }

  // Assembly.
  uint32_t header[kv::kHeaderWords] = {};
  header[kv::kHdrMagic] = plan.version == 4 ? kv::kMagic4 : kv::kMagic2;
  header[kv::kHdrWidth] = w;
  header[kv::kHdrHeight] = h;
  header[kv::kHdrFrames] = static_cast<uint32_t>(count);
  header[kv::kHdrSpeed] = static_cast<uint32_t>(plan.speed);
  header[kv::kHdrFlags] = (plan.ring ? kv::kFlagRing : 0u) | plan.vertical;
  header[kv::kHdrTreeBytes] = static_cast<uint32_t>(tree_block.size());
  for (int i = 0; i < 4; ++i)
    header[kv::kHdrTreeSizes + i] = tree_sizes[i];
  for (size_t t = 0; t < kv::kTracks; ++t) {
    if (!plan.tracks[t])
      continue;
    header[kv::kHdrSoundFormat + t] = format_word(*plan.tracks[t]);
    for (const auto &s : m.sound[t])
      header[kv::kHdrSoundSize + t] = std::max(header[kv::kHdrSoundSize + t], static_cast<uint32_t>(s.size()));
  }
  Bytes sizes, types, body;
  for (size_t r = 0; r < records; ++r) {
    Bytes rec = recs[r].palette;
    uint8_t type = rec.empty() ? 0 : kv::kTypePalette;
    for (uint32_t t = 0; t < kv::kTracks; ++t)
      if (!recs[r].sound[t].empty()) {
        rec.insert(rec.end(), recs[r].sound[t].begin(), recs[r].sound[t].end());
        type = static_cast<uint8_t>(type | kv::type_sound_bit(t));
      }
    rec.insert(rec.end(), recs[r].video.begin(), recs[r].video.end());
    while (rec.size() % 4)
      rec.push_back(0);
    put32(sizes, static_cast<uint32_t>(rec.size()));
    types.push_back(type);
    body.insert(body.end(), rec.begin(), rec.end());
  }
  for (uint32_t v : header)
    put32(m.file, v);
  m.file.insert(m.file.end(), sizes.begin(), sizes.end());
  m.file.insert(m.file.end(), types.begin(), types.end());
  m.file.insert(m.file.end(), tree_block.begin(), tree_block.end());
  m.file.insert(m.file.end(), body.begin(), body.end());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(m.file.data()), static_cast<std::streamsize>(m.file.size()));
  if (!out) {
    m.error = "cannot write " + path;
    return m;
  }
  m.ok = true;
  return m;
}

std::vector<Frame8> frames_from_flic(const std::string &path) {
  std::vector<Frame8> out;
  VEXFLIC *f = VEXFlicOpen(path.c_str());
  if (!f)
    return out;
  const uint32_t w = f->width, h = f->height, n = f->frame_count, pitch = f->pitch;
  std::vector<uint8_t> buf(size_t{pitch} * f->buffer_height);
  for (uint32_t i = 0; i < n; ++i) {
    if (!(VEXFlicGetNext(f, buf.data()) & 0xFF))
      break;
    Frame8 fr;
    fr.width = w;
    fr.height = h;
    fr.pixels.resize(size_t{w} * h);
    for (uint32_t y = 0; y < h; ++y)
      std::memcpy(&fr.pixels[size_t{y} * w], &buf[size_t{y} * pitch], w);
    std::memcpy(fr.palette.data(), VEXFlicGetPalette(f), 768);
    out.push_back(std::move(fr));
  }
  VEXFlicClose(f);
  return out;
}

std::vector<Frame8> pattern_frames(const PatternAnimation &anim) {
  std::vector<Frame8> out;
  for (uint32_t i = 0; i < anim.frames(); ++i)
    out.push_back(anim.frame(i));
  return out;
}

std::vector<Frame8> noise_frames(uint32_t w, uint32_t h, uint32_t n, bool shaped) {
  PatternOptions o;
  o.width = w;
  o.height = h;
  o.frames = n;
  o.noise_full = true;
  auto frames = pattern_frames(PatternAnimation(o));
  for (uint32_t i = 0; i < n && shaped; ++i) {
    const auto source = frames[i].pixels;
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        frames[i].pixels[size_t{y} * w + x] = i == 3 ? 9 : source[size_t{y & ~1u} * w + ((i % 2) ? x & ~1u : x)];
  }
  return frames;
}

size_t first_chunk_at(const std::vector<uint8_t> &f, uint32_t track) {
  const auto word = [&](size_t at) {
    return f.at(at) | f.at(at + 1) << 8 | f.at(at + 2) << 16 | uint32_t{f.at(at + 3)} << 24;
  };
  using namespace formats::korvane;
  const uint32_t records = word(4 * kHdrFrames) + (word(4 * kHdrFlags) & kFlagRing);
  const size_t types = kHeaderBytes + 4 * size_t{records};
  size_t at = types + records + word(4 * kHdrTreeBytes);
  if (f.at(types) & kTypePalette)
    at += size_t{f.at(at)} * 4;
  for (uint32_t t = 0; t < track; ++t)
    if (f.at(types) & type_sound_bit(t))
      at += word(at);
  return at;
}

} // namespace vex::testkit::korvane

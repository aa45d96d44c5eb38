// Shared by the Korvane tests: reading a whole movie back, movies from the
// testkit writer, and sound for its tracks.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "formats/korvane/korvane.h"
#include "testkit/formats/korvane/korvane_hand.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace korvane_test {

namespace kv = vex::formats::korvane;
namespace kw = vex::testkit::korvane;
using Bytes = std::vector<uint8_t>;

struct Decoded {
  bool opened = false;
  uint32_t width = 0, height = 0, frames = 0, period = 0;
  std::vector<Bytes> pictures;
  std::vector<std::array<uint8_t, 768>> palettes;
  std::vector<bool> palette_changed;
  std::vector<uint8_t> refused; // KorvaDoFrame's result per record
  std::array<std::vector<Bytes>, 7> sound;
};

// Reads `records` records from the current position on (frame 0 after
// open), each decoded into one zeroed buffer that carries over.
inline Decoded read_records(KORVA *k, size_t records) {
  Decoded d{true, k->width, k->height, k->frames, k->period, {}, {}, {}, {}, {}};
  Bytes buf(size_t{k->width} * k->height, 0);
  KorvaToBuffer(k, 0, 0, k->width, k->height, buf.data(), 0);
  for (size_t r = 0; r < records; ++r) {
    if (r > 0)
      KorvaNextFrame(k);
    d.refused.push_back(static_cast<uint8_t>(KorvaDoFrame(k)));
    d.pictures.push_back(buf);
    std::memcpy(d.palettes.emplace_back().data(), k->palette, 768);
    d.palette_changed.push_back(k->palette_changed != 0);
    for (uint32_t t = 0; t < 7; ++t) {
      Bytes s(k->header[kv::kHdrSoundSize + t] + 16, 0xCD);
      const int32_t n = KorvaGetSound(k, s.data(), kv::kTrackBit << t);
      s.resize(n > 0 ? static_cast<size_t>(n) : 0);
      d.sound[t].push_back(s);
    }
  }
  return d;
}

// The movie from memory or from a file, `records` records of it.
inline Decoded read_source(vex::file::ByteSource source, size_t records, uint32_t buffer_size = 0) {
  KORVA *k = KorvaOpen(std::move(source), buffer_size);
  Decoded d = k ? read_records(k, records) : Decoded{};
  KorvaClose(k);
  return d;
}
inline Decoded read_bytes(const Bytes &bytes, size_t records, uint32_t buffer_size = 0) {
  vex::file::ByteSource source;
  source.open(bytes);
  return read_source(std::move(source), records, buffer_size);
}

inline vex::testkit::PatternAnimation pattern(uint32_t w, uint32_t h, uint32_t frames, bool all = true) {
  vex::testkit::PatternOptions o;
  o.width = w;
  o.height = h;
  o.frames = frames;
  o.cycle = o.noise = true;
  o.stills = o.solid = all;
  return vex::testkit::PatternAnimation(o);
}

using kw::split_pcm;
using kw::walk_pcm;

inline kw::TrackPlan track(kw::SoundKind kind, bool stereo, bool sixteen, std::vector<Bytes> frames,
                           uint32_t rate = 11025) {
  kw::TrackPlan t;
  t.kind = kind;
  t.rate = rate;
  t.stereo = stereo;
  t.sixteen = sixteen;
  t.frames = std::move(frames);
  return t;
}

} // namespace korvane_test

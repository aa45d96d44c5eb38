// Delta-coded sound chunks whose decoded size D ends inside a sample frame:
// the reader decodes up to D and delivers exactly D bytes, the leading
// bytes of what the same stream gives with D rounded up to whole frames,
// and never writes past D.
#include <gtest/gtest.h>

#include "formats/korvane/korvane_reader.h"
#include "testkit/util/source_of.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/temp_dir.h"
#include "tests/formats/korvane/korvane_test_util.h"

namespace {

namespace kw = vex::testkit::korvane;
using korvane_test::Bytes;

uint32_t get32(const Bytes &b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}
void set32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Offset of the word D of track `track` in the first frame record, found
// by walking the file's own tables.
size_t decoded_size_at(const Bytes &f, uint32_t track) {
  const uint32_t frames = get32(f, 4 * kv::kHdrFrames);
  const uint32_t ring = get32(f, 4 * kv::kHdrFlags) & kv::kFlagRing;
  const size_t types = kv::kHeaderBytes + 4 * size_t{frames + ring};
  size_t at = types + frames + ring + get32(f, 4 * kv::kHdrTreeBytes);
  const uint8_t type = f[types];
  if (type & kv::kTypePalette)
    at += size_t{f[at]} * 4;
  for (uint32_t t = 0; t < track; ++t)
    if (type & kv::type_sound_bit(t))
      at += get32(f, at);
  return at + 4;
}

// What KorvaGetSound gives for frame 1 of a movie held in `bytes`, in a
// buffer of the track's largest size plus a guard filled with 0xCD.
Bytes sound_of(const std::string &path, const Bytes &bytes, uint32_t track, int32_t *result) {
  korvane_test::save(path, bytes);
  KORVA *k = KorvaOpen(vex::testkit::source_of(path.c_str()), 0);
  if (!k)
    return {};
  Bytes out(k->header[kv::kHdrSoundSize + track] + 64, 0xCD);
  *result = KorvaGetSound(k, out.data(), kv::kTrackBit << track);
  KorvaClose(k);
  return out;
}

TEST(KorvanePartialSound, CountsThatEndInsideASampleFrameDeliverExactlyThatMany) {
  vex::testkit::TempDir dir;
  const std::string path = dir.file("p.kvn");
  // One delta track per layout; 8-bit mono has no partial frames but is
  // still cut by D like the others.
  struct Layout {
    bool stereo, sixteen;
  };
  const Layout layouts[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  kw::MoviePlan plan;
  const size_t kFrameBytes = 800; // a multiple of every frame size
  for (uint32_t t = 0; t < 4; ++t) {
    kw::TrackPlan delta;
    delta.kind = kw::SoundKind::delta;
    delta.stereo = layouts[t].stereo;
    delta.sixteen = layouts[t].sixteen;
    Bytes pcm(kFrameBytes);
    uint32_t x = 7 + t, level = 0x8000;
    for (auto &b : pcm) {
      x = x * 1103515245 + 12345;
      level += (x >> 26) - 32;
      b = static_cast<uint8_t>(level >> (t & 1) * 3);
    }
    delta.frames = {pcm, pcm};
    plan.tracks[t] = delta;
  }
  vex::testkit::PatternOptions o;
  o.width = o.height = 16;
  o.frames = 2;
  const auto m = kw::write_korvane(kw::pattern_frames(vex::testkit::PatternAnimation(o)), plan, path);
  ASSERT_TRUE(m.ok) << m.error;

  for (uint32_t t = 0; t < 4; ++t) {
    const uint32_t align = (layouts[t].stereo ? 2 : 1) * (layouts[t].sixteen ? 2 : 1);
    const size_t at = decoded_size_at(m.file, t);
    ASSERT_EQ(get32(m.file, at), kFrameBytes) << "track " << t;
    for (uint32_t shortfall = 1; shortfall <= 3; ++shortfall) {
      SCOPED_TRACE("track " + std::to_string(t) + ", " + std::to_string(shortfall) + " short");
      const uint32_t d = kFrameBytes - shortfall; // shortfall bytes short of the chunk's whole frames
      const uint32_t rounded = (d + align - 1) / align * align;
      Bytes edited = m.file;
      set32(edited, at, rounded);
      int32_t whole_result = 0;
      const Bytes whole = sound_of(path, edited, t, &whole_result);
      ASSERT_EQ(whole_result, static_cast<int32_t>(rounded));
      EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + rounded, m.sound[t][0].begin()));
      set32(edited, at, d);
      int32_t cut_result = 0;
      const Bytes cut = sound_of(path, edited, t, &cut_result);
      ASSERT_EQ(cut_result, static_cast<int32_t>(d));
      EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + d, whole.begin()));
      EXPECT_TRUE(std::all_of(cut.begin() + d, cut.end(), [](uint8_t b) { return b == 0xCD; }))
          << "bytes past D were written";
    }
  }
}

TEST(KorvanePartialSound, CountsBelowOneFrameGiveTheStartingSamplesBytes) {
  vex::testkit::TempDir dir;
  const std::string path = dir.file("q.kvn");
  kw::MoviePlan plan;
  kw::TrackPlan delta;
  delta.kind = kw::SoundKind::delta;
  delta.stereo = delta.sixteen = true;
  delta.frames = {Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}};
  plan.tracks[0] = delta;
  vex::testkit::PatternOptions o;
  o.width = o.height = 8;
  o.frames = 1;
  const auto m = kw::write_korvane(kw::pattern_frames(vex::testkit::PatternAnimation(o)), plan, path);
  ASSERT_TRUE(m.ok) << m.error;
  const size_t at = decoded_size_at(m.file, 0);
  for (uint32_t d = 1; d <= 3; ++d) {
    Bytes edited = m.file;
    set32(edited, at, d);
    int32_t result = 0;
    const Bytes got = sound_of(path, edited, 0, &result);
    ASSERT_EQ(result, static_cast<int32_t>(d));
    // Left low, left high, right low: stored left first.
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + d, delta.frames[0].begin())) << d;
    EXPECT_EQ(got[d], 0xCD);
  }
}

} // namespace

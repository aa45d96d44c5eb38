// Sound tracks coded with the transform encoder, read back packet by packet
// through the reader the way the sound source walks them: the PCM must be
// exactly what decoding the encoder's blocks in one stream gives.
#include <gtest/gtest.h>

#include "audio_codec/audio_codec.h"
#include "util/bytes.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace vex::tolm_test {
namespace {

// Every frame's packet of one track decoded in order; the last block of a
// packet is cut to the packet's decoded-size word.
testkit::Pcm read_track(TOLM *t, uint32_t track, uint32_t rate, uint32_t channels, uint32_t *largest) {
  AUDIODEC *d = AudioDecOpen(rate, channels, 1);
  testkit::Pcm out;
  *largest = 0;
  TolmGoto(t, 0, 1);
  for (uint32_t f = 0; f < t->frames; ++f) {
    const uint8_t *p = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(TolmGetPacket(t, track, &p, &n), 1);
    if (n >= 4) {
      const uint32_t want = util::le32(p);
      *largest = std::max(*largest, want);
      const uint8_t *at = p + 4;
      uint32_t got = 0;
      while (got < want) {
        const int16_t *pcm;
        uint32_t bytes;
        const uint8_t *next;
        EXPECT_EQ(AudioDecBlock(d, &pcm, &bytes, at, static_cast<uint32_t>(p + n - at), &next), 1);
        const uint32_t take = std::min(bytes, want - got);
        out.insert(out.end(), pcm, pcm + take / 2);
        got += take;
        at = next;
      }
      EXPECT_EQ(at, p + n) << "frame " << f + 1 << ": blocks left over";
    }
    TolmDoFrame(t);
    TolmNextFrame(t);
  }
  AudioCodecFree(d);
  return out;
}

TEST(TolmReaderSound, CodedTracksReadBackPacketByPacket) {
  const tk::ModelMovie &mm = tk::cached_random_movie(options(48, 32, 12, 6));
  tk::Movie m = mm.movie;
  m.rate_num = 12; // one second of movie
  const tk::SoundTrackPlan plans[] = {
      {22050, 1, 60, 31, false},
      {11025, 2, 40, 32, false},
      {22050, 1, 80, 33, true},
  };
  const testkit::Pcm signals[] = {
      testkit::sine_sweep(22050, 1, 22050, 100, 8000, 9000),
      testkit::pink_noise(2, 11025, 5000, 3),
      testkit::square(1, 20000, 50, -6000, 6000), // a little short of the movie
  };
  testkit::CodedStream streams[3];
  for (int i = 0; i < 3; ++i)
    m.tracks.push_back(tk::coded_track(signals[i], plans[i], 12, 12, 1, &streams[i]));
  OpenMovie t(tk::movie_bytes(m));
  ASSERT_NE(t.get(), nullptr);
  for (uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const uint32_t format = TolmGetTrackFormat(t.get(), i);
    EXPECT_EQ(format & kTolmTrackRateMask, plans[i].rate);
    EXPECT_EQ((format & kTolmTrackStereo) != 0, plans[i].channels == 2);
    EXPECT_EQ((format & kTolmTrack16Bit) != 0, !plans[i].eight_bit);
    EXPECT_NE(format & kTolmTrackDecodable, 0u);
    EXPECT_EQ(TolmGetTrackID(t.get(), i), 31 + i);
    uint32_t largest = 0;
    const testkit::Pcm pcm = read_track(t.get(), i, plans[i].rate, plans[i].channels, &largest);
    EXPECT_EQ(pcm.size(), signals[i].size());
    EXPECT_EQ(pcm, testkit::decode_stream(streams[i], plans[i].rate, plans[i].channels));
    EXPECT_EQ(t->track_sizes[i], largest);
  }
  // The video behind three tracks of packets is untouched by them.
  TolmGoto(t.get(), 7, 0);
  TolmDoFrame(t.get());
  EXPECT_EQ(copy_frame(t.get()), tk::expected_frame(m, mm.pictures[6]));
}

// The share of sound per frame follows the frame rate: after frame f the
// packets have decoded at least f/fps seconds, and at most one block more.
TEST(TolmReaderSound, PacketsKeepPaceWithTheFrames) {
  const testkit::Pcm pcm = testkit::white_noise(1, 22050 * 2, 3000, 9);
  testkit::CodedStream s;
  const tk::MovieTrack track = tk::coded_track(pcm, {}, 30, 15, 1, &s);
  ASSERT_EQ(track.packets.size(), 30u);
  const uint64_t block = (s.n - s.overlap) * 2;
  uint64_t decoded = 0;
  for (uint32_t f = 0; f < 30; ++f) {
    const auto &p = track.packets[f];
    if (!p.empty())
      decoded += util::le32(p.data());
    const uint64_t due = std::min<uint64_t>(uint64_t{22050} * 2 * (f + 1) / 15, pcm.size() * 2);
    EXPECT_GE(decoded, due) << "frame " << f + 1;
    EXPECT_LT(decoded, due + block) << "frame " << f + 1;
  }
  EXPECT_EQ(decoded, pcm.size() * 2);
}

} // namespace
} // namespace vex::tolm_test

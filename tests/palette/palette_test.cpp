// Palette building piece by piece and whole: the histogram of every depth
// against the 24-bit count of the same picture converted by hand (and that
// against a per-pixel tally), the reduction, the placement and the whole
// build against the plain transcription in testkit/palette (bit for bit,
// messages and cancelling included) on random inputs of every shape, and
// the cases worked out by hand at their edges. (How well a built palette
// shows a real picture is the picture readers' tests' to say.)
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "palette/colour_match.h"
#include "palette/palette_build.h"
#include "palette/palette_histogram.h"
#include "palette/palette_place.h"
#include "palette/palette_reduce.h"
#include "testkit/palette/palette_reference.h"
#include "testkit/palette/palette_samples.h"
#include "testkit/util/message_log.h"

namespace vex::palette {
namespace {

using test::Spread;
using test::Weights;
using testkit::MessageLog;
using Heard = std::vector<std::pair<std::string, int32_t>>;
using Buckets = std::span<const uint32_t, kBucketCount>;

// What the log heard since the last call, and a fresh start with the same cancel answer.
Heard take(MessageLog &log) {
  Heard out;
  for (const testkit::Message &m : log.messages())
    out.emplace_back(m.text, m.level);
  log.clear();
  return out;
}

std::vector<uint32_t> histogram_of(const PixelWindow &w) {
  auto h = make_histogram();
  EXPECT_TRUE(count_window(Histogram(h.data(), kBucketCount), w));
  return h;
}

TEST(PaletteHistogram, EveryDepthCountsAsItsTwentyFourBitPicture) {
  std::mt19937 gen(1);
  constexpr uint32_t w = 13, h = 5; // odd: the last 4-bit byte of a row holds one pixel
  std::vector<uint8_t> palette(kPaletteBytes);
  for (auto &v : palette)
    v = uint8_t(gen());
  // Random pixels with repeats (so counts exceed 1); 5-5-5 pixels have the low 3 bits clear.
  std::vector<uint8_t> bgr(w * h * 3), bgr5(w * h * 3), bgrx, rows16, indices(w * h), index16(w * h), rows4((w + 1) / 2 * h, 0xEE);
  for (size_t i = 0; i < bgr.size(); ++i)
    bgr[i] = uint8_t(gen() % 40 + (gen() % 4) * 60), bgr5[i] = bgr[i] & 0xF8;
  std::map<uint32_t, uint32_t> tally;
  for (size_t i = 0; i < bgr.size(); i += 3) {
    ++tally[(bgr[i + 2] / 4u) * 4096 + (bgr[i + 1] / 4u) * 64 + bgr[i] / 4u];
    bgrx.insert(bgrx.end(), {bgr[i], bgr[i + 1], bgr[i + 2], uint8_t(i * 7)}); // the fourth byte plays no part
    const uint32_t v = (bgr5[i + 2] >> 3) << 10 | (bgr5[i + 1] >> 3) << 5 | bgr5[i] >> 3 | (i & 8) << 12; // nor bit 15
    rows16.insert(rows16.end(), {uint8_t(v), uint8_t(v >> 8)});
  }
  std::vector<uint8_t> via8, via4;
  for (uint32_t p = 0; p < w * h; ++p) {
    indices[p] = uint8_t(gen()), index16[p] = uint8_t(gen() % 16);
    uint8_t &pair = rows4[p / w * ((w + 1) / 2) + p % w / 2]; // the first pixel in the low nibble
    pair = uint8_t(p % w % 2 == 0 ? (pair & 0xF0) | index16[p] : (pair & 0x0F) | index16[p] << 4);
    via8.insert(via8.end(), {palette[indices[p] * 3 + 2], palette[indices[p] * 3 + 1], palette[indices[p] * 3]});
    via4.insert(via4.end(), {palette[index16[p] * 3 + 2], palette[index16[p] * 3 + 1], palette[index16[p] * 3]});
  }
  const auto h24 = [&](const std::vector<uint8_t> &p) { return histogram_of({p.data(), w * 3, w, h, 24, nullptr}); };
  const auto want = h24(bgr);
  for (uint32_t b = 0; b < kBucketCount; ++b)
    ASSERT_EQ(want[b], tally.count(b) ? tally[b] : 0u) << "bucket " << b;
  EXPECT_EQ(histogram_of({bgrx.data(), w * 4, w, h, 32, nullptr}), want);
  std::vector<uint8_t> flipped; // the same rows stored bottom-up, walked from the last with a negative pitch
  for (uint32_t y = h; y-- > 0;)
    flipped.insert(flipped.end(), bgrx.begin() + y * w * 4, bgrx.begin() + (y + 1) * w * 4);
  EXPECT_EQ(histogram_of({flipped.data() + (h - 1) * w * 4, -ptrdiff_t(w * 4), w, h, 32, nullptr}), want);
  EXPECT_EQ(histogram_of({rows16.data(), w * 2, w, h, 16, nullptr}), h24(bgr5));
  EXPECT_EQ(histogram_of({indices.data(), w, w, h, 8, palette.data()}), h24(via8));
  EXPECT_EQ(histogram_of({rows4.data(), (w + 1) / 2, w, h, 4, palette.data()}), h24(via4));
  // Unknown depths and missing palettes count nothing.
  auto none = make_histogram();
  const uint8_t pixels[16] = {};
  EXPECT_FALSE(count_window(Histogram(none.data(), kBucketCount), {pixels, 4, 4, 1, 12, nullptr}));
  EXPECT_FALSE(count_window(Histogram(none.data(), kBucketCount), {pixels, 4, 4, 1, 8, nullptr}));
  EXPECT_TRUE(count_window(Histogram(none.data(), kBucketCount), {nullptr, 4, 0, 0, 24, nullptr}));
  EXPECT_EQ(none, make_histogram());
}

TEST(PaletteHistogram, UncoveredAreasAndUsageByHand) {
  auto h = make_histogram();
  h[0] = 5;
  // (100 + 10 + 3) x 5 + (10 + 7) x 50 = 565 + 850.
  add_uncovered_black(Histogram(h.data(), kBucketCount), 100, 50, 10, 5, -3, 7);
  EXPECT_EQ(h[0], 5u + 1415u);
  // The count wraps modulo 2^32: (32767 + 32767 + 2^31) x 32767 + (32767 + 2^31) x 32767, reduced by hand.
  h[0] = 0;
  add_uncovered_black(Histogram(h.data(), kBucketCount), 32767, 32767, 32767, 32767, INT32_MIN, INT32_MIN);
  EXPECT_EQ(h[0], uint32_t((32767ull + 32767 + 2147483648ull) * 32767 + (32767ull + 2147483648ull) * 32767));
  // 6 x 5 frame, pitch 8: row y holds index 10 + y, the padding 99.
  std::vector<uint8_t> frame(8 * 5, 99);
  for (uint32_t p = 0; p < 40; ++p)
    frame[p] = p % 8 < 6 ? uint8_t(10 + p / 8) : 99;
  const struct {
    std::span<const uint8_t> frame;
    uint32_t height;
    int32_t x, y, uncovered_w, uncovered_h;
    std::map<int, uint32_t> want;
  } rows[] = {
      // Origin y -2: rows 2-4 of 3 rows; origin x -1, 2 uncovered columns and 1 uncovered row:
      // (1 + 2) x 3 + (6 + 2) x (2 + 1) = 33 black.
      {frame, 3, -1, -2, 2, 1, {{12, 6}, {13, 6}, {14, 6}, {0, 33}}},
      {frame, 3, 0, -4, 0, 0, {{14, 6}, {0, 24}}}, // rows past the end of the frame are not read
      // A short last row.
      {std::span(frame).first(8 * 4 + 3), 5, 0, 0, 0, 0, {{10, 6}, {11, 6}, {12, 6}, {13, 6}, {14, 3}}},
  };
  for (const auto &r : rows) {
    UsageCounts want{};
    for (const auto &[i, n] : r.want)
      want[size_t(i)] = n;
    EXPECT_EQ(count_usage(r.frame, 8, 6, r.height, r.x, r.y, r.uncovered_w, r.uncovered_h), want) << r.y;
  }
}

Reduction reduce(const std::vector<uint32_t> &h, int32_t target, const MessageFn &talk = {}) {
  return reduce_colours(Buckets(h.data(), kBucketCount), {}, target, talk);
}

// The reduction and the reference with the same cancel answer: the same colours, cancel and messages.
void expect_same_reduction(const std::vector<uint32_t> &h, int32_t target, int cancel_at = -1) {
  MessageLog log;
  log.cancel_at(cancel_at);
  const Reduction got = reduce(h, target, MessageLog::callback);
  const Heard ours = take(log);
  const testref::Reduced want = testref::reduce(h, target, MessageLog::callback);
  ASSERT_EQ(got.colours, want.colours);
  EXPECT_EQ(got.cancelled, want.cancelled);
  EXPECT_EQ(ours, take(log));
}

// Small and middling histograms of every weight and spread, targets around
// the interesting counts (fewer colours than the target, exactly as many,
// a few more, many more, below 2: the mean); two large ones. Counts near
// 2^32 (kHuge) make every error sum wrap.
TEST(PaletteReduce, MatchesTheReferenceOnRandomHistograms) {
  uint32_t seed = 1;
  for (Weights w : {Weights::kFlat, Weights::kSkewed, Weights::kHuge, Weights::kEqual})
    for (Spread s : {Spread::kUniform, Spread::kClustered, Spread::kLine})
      for (size_t buckets : {1u, 2u, 3u, 4u, 7u, 40u, 300u, 2000u})
        for (int32_t target : {2, 3, 8, 40, 236, 256}) {
          if ((buckets >= 2000 && target < 236) || (test::kSanitized && buckets >= 300 && s != Spread::kLine))
            continue;
          SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(buckets) + " buckets, target " +
                       std::to_string(target));
          ASSERT_NO_FATAL_FAILURE(expect_same_reduction(test::random_histogram(seed++, buckets, w, s), target));
        }
  for (int32_t target : {1, 0, -5}) {
    MessageLog log;
    EXPECT_EQ(reduce(test::random_histogram(3, 100, Weights::kFlat, Spread::kUniform), target, MessageLog::callback).colours.size(), 1u);
    EXPECT_TRUE(log.messages().empty());
    expect_same_reduction(test::random_histogram(3, 100, Weights::kFlat, Spread::kUniform), target);
  }
  const size_t large = test::kSanitized ? 3000 : 25000;
  expect_same_reduction(test::random_histogram(101, large, Weights::kFlat, Spread::kUniform), 256);
  expect_same_reduction(test::random_histogram(102, large, Weights::kSkewed, Spread::kClustered), 256);
}

// Once per split, with the percentage; cancelled before split `at`: boxes
// 0..at. (A histogram of reserved colours only gives no colour and no
// message: the build's comparison with the reference has such rows.)
TEST(PaletteReduce, TalksPerSplitAndCancelKeepsTheColoursFoundSoFar) {
  MessageLog log;
  ASSERT_EQ(reduce(test::random_histogram(9, 1000, Weights::kFlat, Spread::kUniform), 200, MessageLog::callback).colours.size(), 200u);
  const Heard heard = take(log);
  ASSERT_EQ(heard.size(), 199u); // before each of the 199 splits
  EXPECT_EQ((Heard{heard[0], heard[1], heard[2], heard[198]}),
            (Heard{{"Reducing the number of colors (1%)...", 1}, {"Reducing the number of colors (1%)...", 0},
                   {"Reducing the number of colors (2%)...", 0}, {"Reducing the number of colors (100%)...", 0}}));
  const auto h = test::random_histogram(55, 500, Weights::kSkewed, Spread::kClustered);
  for (int at : {0, 1, 2, 17, 200}) {
    SCOPED_TRACE("cancel at message " + std::to_string(at));
    expect_same_reduction(h, 256, at);
    log.cancel_at(at);
    const Reduction got = reduce(h, 256, MessageLog::callback);
    EXPECT_TRUE(got.cancelled);
    EXPECT_EQ(got.colours.size(), size_t(at + 1));
    take(log);
  }
}

// Histograms small enough to reduce by hand. A lone bucket is its own
// mean, 4 x c6 per channel (not the expansion); two buckets split into
// their own expanded colours, the lower bucket first.
//
// Three buckets on the red axis at 0, 1 and 2 with counts 1, 1, 2. Whole
// box: sums 4 and 5, mean8 = 20 / 4 = 5 (c = 1), error 30 x (1 + 0 + 2) =
// 90. Candidate k = 0 (all bounded by 0) leaves {0} inside: outer {1, 2}
// has mean8 4 x 5 / 3 = 6 (c = 1), error 30 x 2 = 60. k = 1 leaves {0, 1}:
// mean8 = 2 (c = 0), error 30; outer {2} error 0; sum 30, the smallest. So
// the colours are the inner mean (2, 0, 0) and the outer (8, 0, 0) after
// one split (gain 60); then {0, 1} splits into the expansions 0 and 4, and
// {2} alone gains nothing.
TEST(PaletteReduce, SmallHistogramsByHand) {
  const struct {
    std::vector<std::array<uint32_t, 4>> buckets; // 6-bit red, green, blue and a count
    int32_t target;
    std::vector<Rgb> colours;
  } rows[] = {
      {{{63, 16, 1, 9}}, 256, {{252, 64, 4}}},
      {{{63, 16, 1, 9}, {0, 32, 40, 1000}}, 256, {{0, 130, 162}, {255, 65, 4}}},
      {{{0, 0, 0, 1}, {1, 0, 0, 1}, {2, 0, 0, 2}}, 2, {{2, 0, 0}, {8, 0, 0}}},
      {{{0, 0, 0, 1}, {1, 0, 0, 1}, {2, 0, 0, 2}}, 256, {{0, 0, 0}, {8, 0, 0}, {4, 0, 0}}},
  };
  for (const auto &c : rows) {
    std::vector<uint32_t> h(kBucketCount, 0);
    for (const auto &[r, g, b, count] : c.buckets)
      h[bucket_of6(r, g, b)] = count;
    EXPECT_EQ(reduce(h, c.target).colours, c.colours) << c.buckets.size() << " buckets, target " << c.target;
  }
}

Palette view(std::vector<uint8_t> &p) { return Palette(p.data(), kPaletteBytes); }
Rgb entry(const std::vector<uint8_t> &p, uint32_t i) { return palette_entry(ConstPalette(p.data(), kPaletteBytes), i); }

TEST(PalettePlace, DistanceIsRoundedHundredthsCapped) {
  EXPECT_EQ(placement_distance({1, 1, 0}, {0, 0, 0}), 141);         // 141.42
  EXPECT_EQ(placement_distance({0, 0, 0}, {255, 255, 255}), 32768); // 44167 before the cap
  // Every difference there is, against rounding in integers: r =
  // floor(sqrt(y)) for y = 10000 x squared distance, plus one when y - r^2 >
  // r (sqrt(y) > r + 1/2).
  for (int dr = 0; dr < 256; ++dr)
    for (int dg = 0; dg < 256; ++dg)
      for (int db = 0; db < 256; db += test::kSanitized ? 15 : 1) {
        const uint64_t y = 10000 * uint64_t(dr * dr + dg * dg + db * db);
        uint64_t r = 0;
        for (uint64_t bit = uint64_t{1} << 20; bit != 0; bit >>= 1)
          if ((r + bit) * (r + bit) <= y)
            r += bit;
        ASSERT_EQ(placement_distance({uint8_t(dr), uint8_t(255 - dg), uint8_t(db)}, {0, 255, 0}),
                  std::min<uint64_t>(32768, y - r * r > r ? r + 1 : r)) << dr << "," << dg << "," << db;
      }
}

// Palettes with repeated entries and colours from a small set make equal
// costs and distances common, so the tie rules decide. Both strategies
// must win often for the comparison to mean something.
TEST(PalettePlace, MatchesTheReferenceOnRandomCases) {
  std::mt19937 gen(77);
  int a_won = 0, b_won = 0;
  for (int round = 0; round < (test::kSanitized ? 40 : 120); ++round) {
    const uint32_t first = round % 5 == 0 ? 0 : gen() % 200;
    const uint32_t count = round % 7 == 0 ? 256 - first : 1 + gen() % (256 - first);
    const size_t m = round % 3 == 0 ? count : 1 + gen() % count;
    auto palette = test::make_palette(gen, round % 3);
    const auto colours = test::make_colours(gen, m, round % 2 == 0);
    const auto usage = test::random_usage(gen, static_cast<test::Usage>(round % 4));
    SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(m) + " colours into " +
                 std::to_string(count) + " entries from " + std::to_string(first));
    auto want = palette;
    MessageLog log;
    const Placement got = place_colours(colours, view(palette), first, int32_t(count), usage, MessageLog::callback);
    const Heard ours = take(log);
    const char which = testref::place(colours, want, int32_t(first), int32_t(first + count - 1),
                                      std::vector<uint32_t>(usage.begin(), usage.end()), MessageLog::callback);
    ASSERT_EQ(palette, want);
    ASSERT_EQ(got == Placement::kA ? 'A' : got == Placement::kB ? 'B' : '?', which);
    ASSERT_EQ(ours, take(log));
    (which == 'A' ? a_won : b_won)++;
  }
  EXPECT_GT(a_won, 3);
  EXPECT_GT(b_won, 3);
}

// Cases whose best placement is plain to see.
TEST(PalettePlace, PlainCasesByHand) {
  std::mt19937 gen(5);
  // Two entries, two colours; the heavily used entry 1 is red, the other
  // black. Red stays in entry 1 (cost 0) and blue goes to entry 0: the
  // other way round would cost 1000 x D(red, blue).
  std::vector<uint8_t> two(kPaletteBytes, 0);
  two[3] = 255;
  EXPECT_NE(place_colours(std::vector<Rgb>{{0, 0, 255}, {255, 0, 0}}, view(two), 0, 2, UsageCounts{1, 1000}, {}), Placement::kNone);
  EXPECT_EQ((std::vector{entry(two, 0), entry(two, 1)}), (std::vector<Rgb>{{0, 0, 255}, {255, 0, 0}}));
  // Nothing to place, or nowhere: nothing changes; the message still comes
  // when the sizes allow placement but there is no entry.
  std::vector<uint8_t> nines(kPaletteBytes, 9);
  MessageLog log;
  EXPECT_EQ(place_colours({}, view(nines), 0, 256, UsageCounts{}, MessageLog::callback), Placement::kNone);
  EXPECT_TRUE(log.messages().empty());
  EXPECT_EQ(place_colours(std::vector<Rgb>{{1, 2, 3}}, view(nines), 10, 0, UsageCounts{}, MessageLog::callback), Placement::kNone);
  EXPECT_EQ(nines, std::vector<uint8_t>(kPaletteBytes, 9));
  EXPECT_EQ(take(log), (Heard{{"Minimizing palette changes...", 1}}));
  // More than 256 colours are copied in order, silently.
  log.clear();
  std::vector<uint8_t> black(kPaletteBytes, 0);
  const std::vector<Rgb> colours = test::make_colours(gen, 300, false);
  EXPECT_EQ(place_colours(colours, view(black), 200, 56, UsageCounts{}, MessageLog::callback), Placement::kInOrder);
  for (uint32_t i = 0; i < 256; ++i)
    ASSERT_EQ(entry(black, i), (i < 200 ? Rgb{0, 0, 0} : colours[i - 200])) << i;
  EXPECT_TRUE(log.messages().empty());
}

struct Built {
  util::Status status;
  PaletteOutcome outcome;
  std::vector<uint8_t> palette;
  Heard heard;
};

Built build(const std::vector<uint32_t> &h, uint32_t first, uint32_t count, int32_t option, const UsageCounts &usage,
            std::vector<uint8_t> palette, int cancel_at = -1) {
  Built r{util::Status::kOk, {}, std::move(palette), {}};
  MessageLog log;
  log.cancel_at(cancel_at);
  r.status = build_palette({Buckets(h.data(), kBucketCount), first, count, static_cast<SystemColours>(option), &usage,
                            Palette(r.palette.data(), kPaletteBytes), MessageLog::callback},
                           r.outcome);
  r.heard = take(log);
  return r;
}

// The build and the reference with the same cancel answer.
Built expect_same_build(const std::vector<uint32_t> &h, uint32_t first, uint32_t count, int32_t option,
                        const UsageCounts &usage, const std::vector<uint8_t> &palette, int cancel_at = -1) {
  const Built got = build(h, first, count, option, usage, palette, cancel_at);
  MessageLog log;
  log.cancel_at(cancel_at);
  const testref::Built want = testref::build(h, int32_t(first), int32_t(count), option,
                                             std::vector<uint32_t>(usage.begin(), usage.end()), palette, MessageLog::callback);
  EXPECT_EQ(got.status, util::Status::kOk);
  EXPECT_EQ(got.palette, want.palette);
  EXPECT_EQ(got.outcome.colours, want.colours);
  EXPECT_EQ(got.outcome.cancelled, want.cancelled);
  EXPECT_EQ(got.heard, take(log));
  return got;
}

// Ranges inside, across and beside the system entries, of every size from
// 0 up; each option; and histograms that are empty, or hold system colours
// only (empty once they are reserved).
// The nearest usable entry to a 6-bit colour, against a plain search over
// the entries' top six bits (first strictly smallest wins), on palettes of
// random and of repeated colours; the cache must give the same again.
TEST(PaletteMatch, NearestColourIsThePlainSearchsEntry) {
  std::mt19937 gen(31);
  std::vector<uint16_t> cache(kCacheEntries);
  for (int round = 0; round < 12; ++round) {
    const auto palette = test::make_palette(gen, 1 + round % 2);
    const auto *rows = reinterpret_cast<const uint8_t(*)[3]>(palette.data());
    const uint32_t first = round % 3 == 0 ? 0 : uint32_t(gen() % 200);
    const UsableRange r{first, 1 + uint32_t(gen() % (256 - first))};
    std::fill(cache.begin(), cache.end(), 0);
    NearestColour nearest(cache, rows, r);
    for (int n = 0; n < 2000; ++n) {
      const uint32_t c[3] = {uint32_t(gen() % 64), uint32_t(gen() % 64), uint32_t(gen() % 64)};
      uint32_t best = UINT32_MAX, want = 0;
      for (uint32_t j = r.first; j < r.first + r.count; ++j) {
        uint32_t d = 0;
        for (int k = 0; k < 3; ++k)
          d += (int(c[k]) - (rows[j][k] >> 2)) * (int(c[k]) - (rows[j][k] >> 2));
        if (d < best)
          best = d, want = j;
      }
      ASSERT_EQ(nearest(c[0], c[1], c[2]), want) << "round " << round << ": " << c[0] << "," << c[1] << "," << c[2];
      ASSERT_EQ(nearest(c[0], c[1], c[2]), want) << "from the cache";
    }
    // A palette remapped onto itself keeps every usable entry where it is.
    const auto self = build_remap(rows, rows, r);
    for (uint32_t i = r.first; i < r.first + r.count; ++i)
      ASSERT_EQ(self[i], i) << "round " << round;
  }
}

TEST(PaletteBuild, MatchesTheReferenceOverRangesAndOptions) {
  std::mt19937 gen(21);
  const std::pair<uint32_t, uint32_t> ranges[] = {
      {0, 256},  {0, 0},     {0, 1},   {0, 5},   {0, 10},   {0, 11},  {5, 3},   {5, 8},   {9, 2},   {10, 236},
      {20, 100}, {128, 128}, {240, 6}, {245, 2}, {246, 10}, {250, 6}, {255, 1}, {256, 0}, {3, 250}, {100, 1}};
  std::vector<uint32_t> empty(kBucketCount, 0), system(kBucketCount, 0);
  system[bucket_of8(0, 0, 0)] = system[bucket_of8(255, 255, 255)] = 1000;
  uint32_t seed = 500;
  for (auto [first, count] : ranges)
    for (int32_t option : {0, 1, 2}) {
      SCOPED_TRACE("entries " + std::to_string(first) + " +" + std::to_string(count) + ", option " + std::to_string(option));
      const auto h = test::random_histogram(seed++, 400, Weights::kSkewed, Spread::kClustered);
      ASSERT_NO_FATAL_FAILURE(expect_same_build(h, first, count, option, test::random_usage(gen, test::Usage::kDense),
                                                test::make_palette(gen, 1)));
      expect_same_build(count % 2 ? empty : system, first, count, option, UsageCounts{}, test::make_palette(gen, 1));
    }
}

// A cancel while reducing keeps the colours made so far, and they are
// still placed; the placement message cannot cancel.
TEST(PaletteBuild, CancelAtEachStage) {
  std::mt19937 gen(12);
  const auto h = test::random_histogram(77, 1500, Weights::kSkewed, Spread::kUniform);
  const auto usage = test::random_usage(gen, test::Usage::kDense);
  const auto start = test::make_palette(gen, 1);
  for (int at : {-1, 0, 1, 5, 100, 234, 235, 236}) {
    SCOPED_TRACE("cancel at message " + std::to_string(at));
    const Built r = expect_same_build(h, 0, 256, 0, usage, start, at);
    EXPECT_EQ(r.outcome.cancelled, at >= 0 && at < 235); // 235 reduction messages, then the placement's
    EXPECT_EQ(r.outcome.colours, at >= 0 && at < 235 ? uint32_t(at + 1) : 236u);
    ASSERT_FALSE(r.heard.empty());
    EXPECT_EQ(r.heard.back(), std::make_pair(std::string("Minimizing palette changes..."), 1));
  }
}

// Worked out by hand: two colours take two entries, expanded from 6 bits, the others keep what they held; one
// usable entry gets the mean; ranges past the palette and unknown options
// are refused, changing nothing.
TEST(PaletteBuild, EdgesByHand) {
  std::vector<uint32_t> h(kBucketCount, 0);
  h[bucket_of8(200, 100, 40)] = 300;  // (50, 25, 10) -> (203, 101, 40)
  h[bucket_of8(3, 250, 129)] = 30000; // (0, 62, 32) -> (0, 251, 130)
  std::mt19937 gen(2);
  const auto start = test::make_palette(gen, 1);
  Built r = build(h, 0, 256, 2, UsageCounts{}, start);
  EXPECT_EQ(r.outcome.colours, 2u);
  std::multiset<std::vector<int>> changed;
  for (uint32_t i = 0; i < 256; ++i)
    if (entry(r.palette, i) != entry(start, i))
      changed.insert({entry(r.palette, i).r, entry(r.palette, i).g, entry(r.palette, i).b});
  EXPECT_EQ(changed, (std::multiset<std::vector<int>>{{203, 101, 40}, {0, 251, 130}}));
  std::fill(h.begin(), h.end(), 0);
  h[bucket_of6(10, 20, 30)] = 1;
  h[bucket_of6(20, 20, 30)] = 3; // red: 4 x 70 / 4 = 70
  r = build(h, 100, 1, 2, UsageCounts{}, std::vector<uint8_t>(kPaletteBytes, 1));
  auto want = std::vector<uint8_t>(kPaletteBytes, 1);
  want[300] = 70, want[301] = 80, want[302] = 120;
  EXPECT_EQ(r.outcome.colours, 1u);
  EXPECT_EQ(r.palette, want);
  for (auto [first, count, option] : {std::array<uint32_t, 3>{200, 57, 0}, {257, 0, 0}, {0, 257, 0}, {1, 0xFFFFFFFF, 0}, {0, 256, 3}}) {
    r = build(h, first, count, int32_t(option), UsageCounts{}, start);
    EXPECT_EQ(r.status, util::Status::kInvalidArgument) << first << " +" << count << " option " << option;
    EXPECT_EQ(r.palette, start);
  }
}

} // namespace
} // namespace vex::palette

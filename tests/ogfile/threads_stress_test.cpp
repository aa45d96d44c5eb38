// Distinct handles on distinct threads: eight threads, each with handles of
// its own, read every frame and every sound sample of every kind of input
// (8-bit and at the source's own depth) and write a FLIC, an AVI with
// sound, a PNG series, a WAV and two chunk streams (Huffman-coded deltas,
// transform blocks), round after round (testkit/ogfile/every_kind.h).
// Everything each thread sees or writes must be byte for byte what one
// thread alone saw and wrote before the others started: frames, palettes,
// PCM, failure reasons, damage texts and the output files (their names
// included, so a temporary left behind shows too). 20 rounds, in the
// default suite and under ThreadSanitizer (the tsan preset); 5 under
// AddressSanitizer, where 20 would cost CI minutes and the races are not
// looked for; VEXUTIL_STRESS_ROUNDS sets another count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "testkit/util/sanitizer.h"
#include "tests/ogfile/ogfile_test_util.h"
#include "vexutil/gfile.h"

namespace {

namespace tk = vex::testkit;

constexpr int kThreads = 8;
constexpr int kRounds = tk::kAddressSanitizer ? 5 : 20;

// One pass: every kind read twice (8-bit, and at its own depth) with its
// sound, then the outputs written into a folder of the pass's own.
tk::PassResults one_pass(const tk::TempDir &samples, const std::vector<std::string> &inputs) {
  tk::PassResults r;
  read_every_kind(samples, inputs, {0, GFILE_DEEP_TRUE_COLOUR}, r);
  const tk::TempDir out;
  for (const char *kind : {"o.flc", "o.avi", "o.png", "o.wav", "h.vcs", "t.vcs"})
    write_output(samples, kind, out, r);
  return r;
}

// "" when `got` is `want`; else the first difference.
std::string difference(const tk::PassResults &want, const tk::PassResults &got) {
  for (const auto &[label, bytes] : want) {
    const auto it = got.find(label);
    if (it == got.end())
      return label + " is missing";
    if (it->second != bytes) {
      const auto at = std::mismatch(bytes.begin(), bytes.end(), it->second.begin(), it->second.end());
      return label + " differs at byte " + std::to_string(at.first - bytes.begin()) + " (" +
             std::to_string(it->second.size()) + " bytes instead of " + std::to_string(bytes.size()) + ")";
    }
  }
  return got.size() == want.size() ? "" : "a label is new";
}

TEST(Threads, EveryThreadReadsAndWritesWhatOneThreadAloneDoes) {
  const tk::TempDir samples;
  const std::vector<std::string> inputs = tk::write_every_kind(samples);
  const tk::PassResults single = one_pass(samples, inputs);
  // The single run must itself have read and written something of every
  // kind, or equal results would prove nothing.
  vex::ogtest::expect_whole_pass(single);
  const char *v = std::getenv("VEXUTIL_STRESS_ROUNDS");
  const int n = v && std::atoi(v) > 0 ? std::atoi(v) : kRounds;
  std::vector<std::string> first_difference(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < n && first_difference[t].empty(); ++round)
        if (std::string d = difference(single, one_pass(samples, inputs)); !d.empty())
          first_difference[t] = "round " + std::to_string(round) + ": " + d;
    });
  for (std::thread &t : threads)
    t.join();
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(first_difference[t], "") << "thread " << t << " of " << kThreads << ", " << n << " rounds";
}

} // namespace

// Long runs in one process. A round reads every kind of input to its last
// frame and sound sample and back to the start once (8-bit and true colour
// by turns), fails to open a missing name and reads a FLC cut in half; now
// and then it writes an output of each kind in turn (testkit/ogfile/
// every_kind.h). Each round runs on a thread of its own. At three
// checkpoints the process's descriptors, threads, mappings, VmSize, VmRSS
// and heap in use are taken (testkit/util/process_usage.h); from the first
// on nothing may grow: no descriptor, thread or mapping more, memory
// within the allocator's noise. Every round must also read the bytes the
// first one read, and every output write the bytes its first writing did
// and leave only its own files.
//
// The suite runs a short version; VEXUTIL_SOAK_ROUNDS=N runs N rounds with
// N / 10 outputs, measured at N / 100, N / 10 and N (10000 for the figures
// in bench/README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "testkit/util/process_usage.h"
#include "testkit/util/sanitizer.h"
#include "tests/ogfile/ogfile_test_util.h"
#include "vexutil/gfile.h"

namespace {

namespace tk = vex::testkit;

constexpr bool kSanitized = tk::kAddressSanitizer;

struct Plan {
  int rounds, outputs;
  int checkpoints[3];
};

Plan plan() {
  const int kinds = static_cast<int>(tk::output_kinds().size());
  if (const char *env = std::getenv("VEXUTIL_SOAK_ROUNDS"))
    if (const int n = std::atoi(env); n >= 1000)
      return {n, n / 10, {std::max(n / 100, kinds), n / 10, n}};
  // The sanitizer build is unoptimised and its allocator keeps freed
  // blocks in quarantine: fewer rounds, and of the memory only the heap in
  // use (its own count) is judged there.
  if (kSanitized)
    return {40, 40, {kinds, 20, 40}};
  return {150, 50, {30, 75, 150}};
}

// Growth allowed after the first checkpoint. The heap in use is counted
// exactly (rounds run on threads of their own, whose allocator caches go
// with them); a few KiB move with where the measuring itself allocates.
// Mapped and resident memory move with the allocator's arenas and pages
// (trimmed or not, a freed block's page still resident).
constexpr long kHeapNoise = 32 << 10, kRssNoiseKiB = 2048, kSizeNoiseKiB = 4096;

TEST(Soak, EveryKindAndOutputStaysFlat) {
  const Plan p = plan();
  const std::vector<std::string> &kinds = tk::output_kinds();
  const tk::TempDir in, out;
  const std::vector<std::string> inputs = tk::write_every_kind(in);
  tk::PassResults first; // what each label gave the first time
  int written = 0;
  std::vector<std::pair<int, tk::ProcessUsage>> seen;
  std::printf("%8s %8s %5s %8s %6s %12s %12s %12s\n", "round", "outputs", "fds", "threads", "maps", "VmSize KiB",
              "VmRSS KiB", "heap KiB");
  for (int round = 1; round <= p.rounds && !::testing::Test::HasFailure(); ++round) {
    // On a thread of its own (as a server's worker would), so that what the
    // thread keeps (its reason, its allocator cache) ends with it.
    std::thread([&] {
      tk::PassResults r;
      read_every_kind(in, inputs, {round % 2 ? 0 : GFILE_TRUE_COLOUR}, r);
      // Spread over the run, but one of each kind in the first rounds, so
      // that every writer's one-time set-up is behind the first checkpoint.
      for (; written < std::max(round * p.outputs / p.rounds, std::min<int>(round, kinds.size())); ++written)
        write_output(in, kinds[written % kinds.size()], out, r);
      for (const auto &[label, said] : r) {
        const auto [at, fresh] = first.emplace(label, said);
        EXPECT_TRUE(fresh || said == at->second) << label << " differs in round " << round;
      }
    }).join();
    if (std::find(std::begin(p.checkpoints), std::end(p.checkpoints), round) == std::end(p.checkpoints))
      continue;
    const tk::ProcessUsage u = tk::process_usage();
    seen.emplace_back(round, u);
    std::printf("%8d %8d %5ld %8ld %6ld %12ld %12ld %12ld\n", round, written, u.fds, u.threads, u.maps, u.vm_size_kib,
                u.vm_rss_kib, u.heap_bytes / 1024);
    std::fflush(stdout);
  }
  ASSERT_FALSE(::testing::Test::HasFailure());
  vex::ogtest::expect_whole_pass(first);
  EXPECT_EQ(first.count("pictures a.flc 0") + first.count("pictures a.flc 1") + first.count("write t.vcs"), 3u)
      << "both depths read, every kind of output written";
  const tk::ProcessUsage &base = seen.front().second;
  for (const auto &[round, u] : seen) {
    SCOPED_TRACE(round);
    EXPECT_LE(u.fds, base.fds);
    EXPECT_LE(u.threads, base.threads);
    EXPECT_LE(u.heap_bytes, base.heap_bytes + kHeapNoise);
    if (kSanitized) // its allocator maps a region per size of block as they come
      continue;
    EXPECT_LE(u.maps, base.maps);
    EXPECT_LE(u.vm_size_kib, base.vm_size_kib + kSizeNoiseKiB);
    EXPECT_LE(u.vm_rss_kib, base.vm_rss_kib + kRssNoiseKiB);
  }
}

} // namespace

// One small file of every kind of input the sources read, for tests and
// benchmarks that go over all of them: FLIC, Korvane, Tolm, a Korvane
// movie inside an executable, the raw frame file, WAV, AVI with PCM
// sound, QuickTime, the seven stills and a list of two FLICs (the second
// from its frame 2).
#pragma once

#include <string>
#include <vector>

#include "testkit/util/temp_dir.h"

namespace vex::testkit {

struct KindSample {
  std::string file; // name inside the folder
  int kind;         // the graphics source's kind code
};

// Writes the samples into `dir` and lists them (the list's entries, a.flc
// and b.flc, are among them).
std::vector<KindSample> write_kind_samples(const TempDir &dir);

} // namespace vex::testkit

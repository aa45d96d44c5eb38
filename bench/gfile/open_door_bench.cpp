// The graphics source's front door: GFileOpen, the first GFileGet and
// GFileClose on a small file of every kind, for two builds of the library
// in the same run.
//
//   bench_gfile_open --before=<libvexutil.so> --after=<libvexutil.so> [benchmark flags]
//
// Each library is loaded on its own (dlopen with RTLD_LOCAL and
// RTLD_DEEPBIND, so neither sees the other's symbols) and both are timed on
// the same files in turns: every iteration opens, fetches and closes the
// file once with each, by the thread's processor clock. The counters are
// the median microseconds of each and after / before.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "testkit/gfile/kind_samples.h"
#include "vexutil/gfile.h"

namespace {

// The three calls of one build.
struct Library {
  using Open = decltype(&GFileOpen);
  using Get = decltype(&GFileGet);
  using Close = decltype(&GFileClose);
  void *handle = nullptr;
  Open open = nullptr;
  Get get = nullptr;
  Close close = nullptr;

  bool load(const std::string &path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (!handle) {
      std::fprintf(stderr, "bench_gfile_open: %s\n", dlerror());
      return false;
    }
    *reinterpret_cast<void **>(&open) = dlsym(handle, "GFileOpen");
    *reinterpret_cast<void **>(&get) = dlsym(handle, "GFileGet");
    *reinterpret_cast<void **>(&close) = dlsym(handle, "GFileClose");
    return open && get && close;
  }

  // One open, first frame and close in true colour; false when it fails.
  bool once(const std::string &name) const {
    GFILE *g = open(name.c_str(), GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr,
                    nullptr, nullptr);
    if (!g)
      return false;
    const bool ok = get(g) == 1;
    close(g);
    return ok;
  }
};

Library before, after;
vex::testkit::TempDir *samples_dir = nullptr;

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void run_kind(benchmark::State &state, const std::string &name) {
  const std::string path = samples_dir->file(name);
  std::vector<double> a, b;
  for (auto _ : state) {
    double t0 = thread_seconds();
    if (!before.once(path))
      state.SkipWithError("the build before cannot read the sample");
    double t1 = thread_seconds();
    if (!after.once(path))
      state.SkipWithError("the build after cannot read the sample");
    double t2 = thread_seconds();
    a.push_back(t1 - t0);
    b.push_back(t2 - t1);
  }
  const double ma = median(a), mb = median(b);
  state.counters["before_us"] = ma * 1e6;
  state.counters["after_us"] = mb * 1e6;
  state.counters["after_per_before"] = ma > 0 ? mb / ma : 0;
}

std::string take_option(int &argc, char **argv, const char *prefix) {
  std::string value;
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0)
      value = argv[i] + std::strlen(prefix);
    else
      argv[out++] = argv[i];
  }
  argc = out;
  return value;
}

} // namespace

int main(int argc, char **argv) {
  const std::string lib_before = take_option(argc, argv, "--before=");
  const std::string lib_after = take_option(argc, argv, "--after=");
  if (lib_before.empty() || lib_after.empty()) {
    std::fprintf(stderr, "usage: bench_gfile_open --before=<libvexutil.so> --after=<libvexutil.so> [benchmark flags]\n");
    return 2;
  }
  if (!before.load(lib_before) || !after.load(lib_after))
    return 1;
  auto dir = std::make_unique<vex::testkit::TempDir>();
  samples_dir = dir.get();
  for (const vex::testkit::KindSample &s : vex::testkit::write_kind_samples(*dir))
    if (s.file != "b.flc")
      benchmark::RegisterBenchmark(("Open/" + s.file).c_str(), [name = s.file](benchmark::State &st) {
        run_kind(st, name);
      })->Iterations(200)->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Any bytes as a graphics input: the first byte picks the extension the
// rest is saved under (every reader's, a list, none at all) and the open
// options (true colour, alpha, crop, range, rates, palette range); the
// source is then read to its end in both modes, reset and read once more,
// and read again in 8 bits with palettes built every few frames.
// Output buffers carry a guard zone that must stay untouched.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/util/fuzz_file.h"
#include "testkit/flic/flic_pattern_file.h"
#include "util/limits.h"
#include "vexutil/gfile.h"

namespace {

constexpr size_t kHeader = 8;
constexpr int kMaxFrames = 40; // frames read per pass
constexpr size_t kGuard = 64;

const char *const kExtensions[] = {".flc", ".fli", ".kvn", ".tlm", ".exe", ".bmp", ".pcx", ".png", ".tga",
                                   ".avi", ".mov", ".tif", ".gif", ".jpg", ".wav", ".raw", ".lst", ""};
constexpr size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];

// The private folder, made the working directory so that the names a list
// holds stay inside it; it holds one small animation ("a.flc") for lists
// to name.
const std::string &folder() {
  // The name lives in plain storage, so the exit handler that removes the
  // folder can still read it after the statics are gone.
  static char name[96];
  static const std::string dir = [] {
    std::string d = "/tmp/vex-fuzz-gfile-" + std::to_string(getpid());
    std::snprintf(name, sizeof name, "%s", d.c_str());
    mkdir(d.c_str(), 0700);
    if (chdir(d.c_str()) != 0)
      std::abort();
    vex::testkit::PatternOptions o;
    o.width = 20;
    o.height = 12;
    o.frames = 3;
    vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, d + "/a.flc");
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(name, ignored);
    });
    return d;
  }();
  return dir;
}

// Reads every output frame into a buffer of our own with a guard zone;
// with `skipping`, every other frame is passed over by GFileSkip.
void read_through(GFILE *g, bool skipping = false) {
  const size_t bytes = size_t(g->pitch) * (g->true_colour ? 4 : 1) * size_t(g->height);
  std::vector<uint8_t> buffer(bytes + kGuard, 0x5A);
  g->buffer = buffer.data();
  if (g->true_colour)
    g->pitch *= 4;
  for (int i = 0; i < g->output_frames && i < kMaxFrames; ++i)
    if ((skipping && i % 2 == 0 ? GFileSkip(g) : GFileGet(g)) != 1)
      break;
  for (size_t j = 0; j < kGuard; ++j)
    if (buffer[bytes + j] != 0x5A)
      std::abort();
  g->buffer = nullptr;
  if (g->true_colour)
    g->pitch /= 4;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHeader)
    return 0;
  vex::util::lower_limits(1u << 16, 1u << 22); // small pictures keep runs short
  const std::string name = folder() + "/in" + kExtensions[data[0] % kExtensionCount];
  const bool list = std::strcmp(kExtensions[data[0] % kExtensionCount], ".lst") == 0;
  std::string text(reinterpret_cast<const char *>(data + kHeader), size - kHeader);
  if ((list && !vex::fuzz::confined_list(data + kHeader, size - kHeader, text)) ||
      !vex::fuzz::write_input(name, reinterpret_cast<const uint8_t *>(text.data()), text.size()))
    return 0;
  const int32_t flags = data[1] & 3;
  const auto crop = [](uint8_t v) { return static_cast<int32_t>(static_cast<int8_t>(v)) * 3; };
  const int32_t x = crop(data[2]), y = crop(data[3]);
  const int32_t w = data[4] & 63, h = data[5] & 63;
  const int32_t first = data[6] & 7, last = (data[6] >> 3) & 15;
  const uint32_t out_num = data[7] & 31, out_den = (data[7] >> 5) + 1;
  const int32_t first_index = (data[1] >> 2) & 31, entries = 256 - first_index - ((data[1] >> 4) & 7);
  GFILE *g = GFileOpen(name.c_str(), flags, 0, 0, out_num, out_den, x, y, w, h, first, last, 0, 0, first_index, entries,
                       0, (data[1] >> 6) % 3, 0, nullptr, nullptr, nullptr);
  if (g) {
    GFILEINFO info;
    if (GFileDescribe(g, &info) != 1 || !std::memchr(info.codec, 0, sizeof info.codec) ||
        !std::memchr(info.sound_codec, 0, sizeof info.sound_codec))
      std::abort();
    read_through(g);
    GFileReset(g);
    read_through(g, true);
    GFileClose(g);
  }
  // The analysed path: 8-bit output with palettes built every few frames
  // (analysis mode, period and split from the spare bits), read through a
  // palette source over the same input.
  const int32_t mode = (data[4] >> 6) % 3, period = 1 + (data[5] >> 6), split = data[6] & 0x80 ? 24 : 0;
  g = GFileOpen(name.c_str(), 0, 0, 0, out_num, out_den, x, y, w, h, first, last, mode, period, first_index, entries,
                split, (data[1] >> 6) % 3, 0, nullptr, nullptr, nullptr);
  if (g) {
    read_through(g);
    GFileClose(g);
  }
  unlink(name.c_str());
  return 0;
}

// Any bytes as a sound input: the first byte picks how the rest is read
// (as a WAV file, as raw PCM with a format and header from the next bytes,
// as a list file whose entries name files in a private folder, or, with
// its top bit set, as a compressed-sound chunk stream, raw chunks when bit
// 6 is set too) and the output conversion; the whole sound is then read in pieces of changing
// size, reset, and read again. Nothing outside a buffer may be touched and
// no read may deliver more than asked.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/util/fuzz_file.h"
#include "vexutil/sfile.h"

namespace {

constexpr size_t kHeader = 6;
constexpr uint32_t kMaxRead = 1u << 18; // output bytes per pass

// A folder of small inputs that list entries may name ("a.wav", "b.lst"
// naming a.wav, and "in.lst", the input itself), made once per process.
const std::string &folder() {
  static const std::string dir = [] {
    std::string d = "/tmp/vex-fuzz-sfile-" + std::to_string(getpid());
    mkdir(d.c_str(), 0700);
    const uint8_t wav[] = {'R', 'I', 'F', 'F', 44, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                           1,   0,   1,   0,   0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a',
                           8,   0,   0,   0,   1,   2,   3,   4,   5,   6,   7,   8};
    vex::fuzz::write_input(d + "/a.wav", wav, sizeof wav);
    const char list[] = "a.wav /L2\nb.lst\n";
    vex::fuzz::write_input(d + "/b.lst", reinterpret_cast<const uint8_t *>("a.wav\n"), 6);
    vex::fuzz::write_input(d + "/c.lst", reinterpret_cast<const uint8_t *>(list), sizeof list - 1);
    return d;
  }();
  return dir;
}

void read_through(SFILE *s, const uint8_t *sizes, size_t n) {
  std::vector<uint8_t> buf(70000 + 64);
  uint32_t total = 0;
  for (size_t i = 0; total < kMaxRead; ++i) {
    const uint32_t want = (n ? sizes[i % n] : 200) * 271u + 1;
    std::memset(buf.data() + want, 0x5A, 64);
    const uint32_t got = SFileGet(s, buf.data(), want);
    if (got > want || got % s->frame_bytes != 0)
      std::abort();
    for (size_t j = 0; j < 64; ++j)
      if (buf[want + j] != 0x5A)
        std::abort();
    if (got == 0)
      return;
    total += got;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHeader)
    return 0;
  const uint8_t mode = data[0] % 3;
  const int32_t rates[] = {0, 8000, 11025, 22050, 44100, 3, 96000, 7};
  const int32_t rate = rates[data[1] & 7];
  const int32_t bits = (data[1] & 8) ? 8 : (data[1] & 16) ? 16 : 0;
  const int32_t channels = (data[1] >> 5) & 3;
  const int32_t start = static_cast<int8_t>(data[2]) * 37, end = static_cast<int8_t>(data[3]) * 53;
  const uint8_t *body = data + kHeader;
  const size_t body_size = size - kHeader;
  std::string name;
  int32_t raw = 0, header = 0;
  if (data[0] & 0x80) {
    // A chunk stream: a ".vcs" name of its own (input_file keeps the first
    // extension it was asked for).
    static const std::string chunks = "/tmp/vex-fuzz-" + std::to_string(getpid()) + "-chunks.vcs";
    name = chunks;
    vex::fuzz::write_input(name, body, body_size);
    if (data[0] & 0x40)
      raw = (data[4] << 3) | (data[5] & 3) | 8;
  } else if (mode == 2) {
    // A list: entries name files of the private folder only.
    name = folder() + "/in.lst";
    std::string text;
    if (!vex::fuzz::confined_list(body, body_size, text))
      return 0;
    vex::fuzz::write_input(name, reinterpret_cast<const uint8_t *>(text.data()), text.size());
  } else {
    name = vex::fuzz::input_file(".wav");
    vex::fuzz::write_input(name, body, body_size);
    if (mode == 1) {
      raw = (data[4] << 3) | (data[5] & 3) | 8;
      header = static_cast<int8_t>(data[5]) * 3;
    }
  }
  // Entries are relative to the working folder: the private one.
  if (mode == 2 && chdir(folder().c_str()) != 0)
    return 0;
  SFILE *s = SFileOpen(name.c_str(), rate, bits, channels, start, end, data[4] & 3, raw, header, nullptr);
  if (!s)
    return 0;
  if (s->frame_bytes != s->channels * s->bits / 8 || (s->bits != 8 && s->bits != 16) ||
      (s->channels != 1 && s->channels != 2))
    std::abort();
  read_through(s, body, std::min<size_t>(body_size, 16));
  SFileReset(s);
  read_through(s, data, 4);
  SFileClose(s);
  return 0;
}

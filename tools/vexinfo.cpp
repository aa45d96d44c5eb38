// vexinfo FILE...: describes inputs: format, size, frame count, speed and
// frames per second; -v (or /V) adds a line per frame.
#include <algorithm>
#include <cstdio>

#include <vector>

#include "common/chunk_stream.h"
#include "common/command_line.h"
#include "common/media.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"
#include "vexutil/version.h"

namespace {

void usage(std::FILE *to) {
  std::fprintf(to,
               "usage: vexinfo [-v|/V] [/R<Hz>] [/X] FILE...\n"
               "Describes each FILE: for pictures its format, width, height, frame count,\n"
               "speed and frames per second; for sound (WAV, raw with /Y, any sound\n"
               "input) its rate, width, channels and length; for compressed sound\n"
               "chunks (.vcs) the coding, chunk count and compression ratio.\n"
               "  -v, /V     add a line per frame (or per chunk)\n"
               "  /R<Hz>     the sample rate of a chunk stream (it does not record one)\n"
               "  /X         the chunk stream holds raw PCM (its layout cannot say so)\n"
               "  /Y<1-4> /D<Hz> /K<n>  read FILE as raw PCM (see vexconv --help)\n"
               "  -h, --help show this text\n"
               "Exit status: 0 when every file was described, 1 when one could not be\n"
               "read, 2 for a bad command line.\n");
}

void describe(const std::string &name, vex::tools::Input &in, bool verbose) {
  const vex::tools::InputInfo &i = in.info();
  std::printf("%s\n", name.c_str());
  std::printf("  format   %s\n", i.format.c_str());
  std::printf("  size     %u x %u\n", i.width, i.height);
  std::printf("  frames   %u\n", i.frames);
  std::printf("  speed    %.2f ms per frame, %.3f frames per second\n", vex::tools::rate_ms(i.rate),
              vex::tools::rate_fps(i.rate));
  for (const std::string &line : i.details)
    std::printf("  %s\n", line.c_str());
  if (verbose)
    in.describe_frames(stdout);
}

int describe_chunks(const std::string &name, uint32_t rate, bool raw, bool verbose) {
  std::FILE *f = std::fopen(name.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "vexinfo: %s: cannot open it\n", name.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  while (size_t n = std::fread(buf, 1, sizeof buf, f))
    bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  const vex::tools::ChunkStreamInfo s = vex::tools::scan_chunk_stream(bytes, raw, rate);
  if (s.chunks.empty()) {
    std::fprintf(stderr, "vexinfo: %s: no compressed sound chunk at its start\n", name.c_str());
    return 1;
  }
  std::printf("%s\n", name.c_str());
  vex::tools::describe_chunk_stream(stdout, s, rate, verbose);
  return 0;
}

// Any input the sound source reads.
int describe_sound(const std::string &name, int32_t raw, int32_t header) {
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, raw, header, nullptr);
  if (!s) {
    std::fprintf(stderr, "vexinfo: %s: %s\n", name.c_str(), VEXLastError());
    return 1;
  }
  const uint32_t frames = s->total / s->source_frame_bytes;
  std::printf("%s\n", name.c_str());
  std::printf("  format   %s sound\n", s->type[0] ? s->type : "Tolm");
  std::printf("  rate     %u Hz\n", s->source_rate);
  std::printf("  width    %u bits\n", s->source_bits);
  std::printf("  channels %u\n", s->source_channels);
  std::printf("  length   %u sample frames, %.3f s (%u bytes)\n", frames,
              static_cast<double>(frames) / s->source_rate, s->total);
  SFileClose(s);
  return 0;
}

bool is_wav_name(const std::string &name) {
  return name.size() >= 4 && (name.compare(name.size() - 4, 4, ".wav") == 0 || name.compare(name.size() - 4, 4, ".WAV") == 0);
}

} // namespace

int main(int argc, char **argv) {
  vex::tools::CommandLine cmd(argc, argv, {{"-v", "/V"}, {"--verbose", "/V"}});
  if (cmd.help()) {
    usage(stdout);
    return 0;
  }
  if (cmd.version()) {
    std::printf("vexinfo %s\n", VEXUTIL_VERSION_STRING);
    return 0;
  }
  const bool verbose = cmd.flag('V');
  const bool raw_chunks = cmd.flag('X');
  const int rate = cmd.number('R', 0);
  int32_t raw = 0, header = 0;
  SFileCommandLine(cmd.switches(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &raw, &header);
  if (const std::string rest = cmd.leftover(); !rest.empty()) {
    std::fprintf(stderr, "vexinfo: unknown switch: %s\n", rest.c_str());
    usage(stderr);
    return 2;
  }
  if (cmd.names().empty()) {
    usage(stderr);
    return 2;
  }
  int status = 0;
  for (const std::string &name : cmd.names()) {
    if (vex::tools::is_chunk_stream_name(name)) {
      status = std::max(status, describe_chunks(name, rate > 0 ? static_cast<uint32_t>(rate) : 0, raw_chunks, verbose));
      continue;
    }
    if (raw != 0 || is_wav_name(name)) {
      status = std::max(status, describe_sound(name, raw, header));
      continue;
    }
    std::string why;
    auto in = vex::tools::open_input(name, why);
    if (!in) {
      // Not a picture input: perhaps one the sound source reads.
      if (SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr)) {
        SFileClose(s);
        status = std::max(status, describe_sound(name, 0, 0));
        continue;
      }
      std::fprintf(stderr, "vexinfo: %s: %s\n", name.c_str(), why.c_str());
      status = 1;
      continue;
    }
    describe(name, *in, verbose);
  }
  return status;
}

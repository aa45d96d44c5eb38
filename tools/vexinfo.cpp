// vexinfo FILE...: describes inputs. Pictures are opened through the
// graphics source and described as it sees them (kind, sizes, depth, frame
// counts, rates); sound through the sound source; compressed sound chunk
// streams by a scan of their chunks. -v (or /V) adds a line per frame.
#include <algorithm>
#include <cstdio>

#include "common/chunk_stream.h"
#include "common/command_line.h"
#include "vexutil/csfile.h"
#include "vexutil/gfile.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"
#include "vexutil/ogfile.h"
#include "vexutil/version.h"

namespace {

void usage(std::FILE *to) {
  std::fprintf(to,
               R"(usage: vexinfo [-v|/V] [/R<Hz>] [/X] [/Y<1-5> /D<Hz> /K<n>] FILE...
       vexinfo --codecs

Describes each FILE:
  picture inputs (FLIC, Korvane, Tolm, AVI, QuickTime, the stills, raw
    frame files, lists and numbered series) as the graphics source opens
    them: kind and type, size of the source and of the output, depth,
    frames (in the range, at the output rate, in the file), the source,
    playback and output rates in frames per second, the speed (ms per
    frame), the codec, the colour matrix and range of a movie's first
    picture, the sound (codec, rate, bits, channels, length) and the file
    size in bytes;
  sound (WAV, raw PCM with /Y, any input with sound and no picture): its
    rate in Hz, bits, channels and length in seconds;
  compressed sound chunks (.vcs): the coding, chunk count and ratio.

Switches:
  -v, /V     add a line per frame (depth and bytes of each frame as read;
             this reads the whole input) or per chunk
  /R<Hz>     the sample rate of a chunk stream, which does not record one
             (default: found by trying the common rates; mono at twice a
             rate codes as stereo at the rate, and the sound decides)
  /X         the chunk stream holds raw PCM (its layout cannot say so)
  /Y<1-5>    read FILE as raw PCM: 1 and 5 8-bit mono, 2 8-bit stereo,
             3 16-bit mono, 4 16-bit stereo; /D<Hz> its rate (default
             11025), /K<n> header bytes to skip (default 0)
  --codecs   list the video encoders vexconv --codec can use for AVI files
  -h, --help this text;  --version  the version
%s
Exit status: 0 when every file was described, 1 when one could not be
read (or is damaged), 2 for a bad command line (a bad switch, no FILE).

Examples:
  vexinfo clip.avi intro.flc        two descriptions
  vexinfo -v anim.flc               with a line per frame
  vexinfo /Y3 /D22050 voice.raw     raw 16-bit mono sound at 22050 Hz
  vexinfo /R22050 voice.vcs         a chunk stream made at 22050 Hz
)",
               vex::tools::name_rule_help("/V, /R22050, /Y3/D22050, /-V").c_str());
}

int list_codecs() {
  const char *name = nullptr, *description = nullptr;
  for (int32_t i = 0; OGFileEncoder(i, &name, &description); ++i)
    std::printf("%-16s %s\n", name, description);
  return 0;
}

// /V verbose; /R rate, /X raw coding of chunk streams; /Y raw format and
// /K header bytes of raw sound (read by SFileCommandLine).
constexpr vex::tools::SwitchRule kSwitches[] = {
    {'V', vex::tools::SwitchKind::flag},   {'R', vex::tools::SwitchKind::number},
    {'X', vex::tools::SwitchKind::flag},   {'Y', vex::tools::SwitchKind::number},
    {'K', vex::tools::SwitchKind::number}, {'D', vex::tools::SwitchKind::number}};

void print_rate(const char *what, uint32_t num, uint32_t den) {
  if (den == 0)
    std::printf("  %-8s none\n", what);
  else
    std::printf("  %-8s %u/%u, %.3f frames per second\n", what, num, den, static_cast<double>(num) / den);
}

const char *matrix_name(int32_t m) {
  switch (m) {
  case GFILE_MATRIX_BT601: return "BT.601";
  case GFILE_MATRIX_BT709: return "BT.709";
  case GFILE_MATRIX_FCC: return "FCC";
  case GFILE_MATRIX_SMPTE240M: return "SMPTE 240M";
  case GFILE_MATRIX_BT2020: return "BT.2020";
  default: return "none";
  }
}

// The codec, the first picture's colour conversion and the sound in one
// line each (GFileDescribe).
void describe_codings(const GFILE *g, const GFILEINFO &info) {
  if (info.codec[0])
    std::printf("  codec    %s\n", info.codec);
  if (info.colour_matrix != GFILE_MATRIX_NONE)
    std::printf("  colour   %s (%s), %s range (%s), as the first picture is converted\n", matrix_name(info.colour_matrix),
                (info.colour_tagged & GFILE_MATRIX_TAGGED) ? "tagged" : "by convention",
                info.colour_range == GFILE_RANGE_FULL ? "full" : "limited",
                (info.colour_tagged & GFILE_RANGE_TAGGED) ? "tagged" : "by convention");
  if (!info.has_sound) {
    std::printf("  sound    %s\n", g->has_sound ? "yes" : "no");
    return;
  }
  std::printf("  sound    %s, %u Hz, %u bits, %u channel%s, ", info.sound_codec, info.sound_rate, info.sound_bits,
              info.sound_channels, info.sound_channels == 1 ? "" : "s");
  if (info.sound_rate != 0)
    std::printf("%.3f s (%llu sample frames)\n", static_cast<double>(info.sound_frames) / info.sound_rate,
                static_cast<unsigned long long>(info.sound_frames));
  else
    std::printf("%llu sample frames\n", static_cast<unsigned long long>(info.sound_frames));
}

// The graphics source's view of a picture input. Per-frame lines fetch
// every output frame without converting it (GFileSkip), so -v reads, and
// decodes, the whole input.
int describe_picture(const std::string &name, GFILE *g, bool verbose) {
  std::printf("%s\n", name.c_str());
  std::printf("  kind     0x%x, %s\n", static_cast<unsigned>(g->kind), g->type[0] ? g->type : "raw frames");
  std::printf("  size     %d x %d (output %d x %d)\n", g->source_width, g->source_height, g->width, g->height);
  if (g->depth != g->depth_read)
    std::printf("  depth    %d bits (%d as read)\n", g->depth, g->depth_read);
  else
    std::printf("  depth    %d bits\n", g->depth);
  std::printf("  frames   %d (output %d, file %d)\n", g->frame_count, g->output_frames, g->total_frames);
  print_rate("rate", g->source_num, g->source_den);
  print_rate("playback", g->play_num, g->play_den);
  print_rate("output", g->out_num, g->out_den);
  if (g->speed == 0)
    std::printf("  speed    0 (no rate)\n");
  else
    std::printf("  speed    %.2f ms per frame\n", -static_cast<double>(g->speed) / 100.0);
  GFILEINFO info;
  GFileDescribe(g, &info);
  describe_codings(g, info);
  char bytes[16];
  CommaNum(bytes, g->file_size);
  std::printf("  file     %s bytes\n", bytes);
  if (verbose)
    for (int32_t i = 1; i <= g->output_frames; ++i) {
      if (GFileSkip(g) != 1) {
        std::fprintf(stderr, "vexinfo: %s: frame %d: %s\n", name.c_str(), i, VEXLastError());
        return 1;
      }
      std::printf("  frame %-5d depth %d, %d bytes\n", i, g->frame_depth, g->frame_bytes);
    }
  // A damaged input is described as far as it goes, and then named.
  if (const char *damage = GFileDamage(g)) {
    std::printf("  damage   %s\n", damage);
    std::fprintf(stderr, "vexinfo: %s: %s\n", name.c_str(), damage);
    return 1;
  }
  return 0;
}

int describe_chunks(const std::string &name, uint32_t rate, bool raw, bool verbose) {
  CSSCAN *s = CSFileScan(name.c_str(), raw ? 1 : 0, rate);
  if (!s) {
    std::fprintf(stderr, "vexinfo: %s: %s\n", name.c_str(), VEXLastError());
    return 1;
  }
  const bool any = s->chunk_count > 0;
  if (any) {
    std::printf("%s\n", name.c_str());
    vex::tools::describe_chunk_stream(stdout, *s, rate, verbose);
  } else {
    std::fprintf(stderr, "vexinfo: %s: no compressed sound chunk at its start\n", name.c_str());
  }
  CSFileScanClose(s);
  return any ? 0 : 1;
}

void print_sound(const char *format, uint32_t rate, uint32_t bits, uint32_t channels, uint64_t frames) {
  std::printf("  format   %s sound\n", format);
  std::printf("  rate     %u Hz\n", rate);
  std::printf("  width    %u bits\n", bits);
  std::printf("  channels %u\n", channels);
  std::printf("  length   %llu sample frames, %.3f s (%llu bytes)\n", static_cast<unsigned long long>(frames),
              rate ? static_cast<double>(frames) / rate : 0.0,
              static_cast<unsigned long long>(frames * channels * bits / 8));
}

// Any input the sound source reads.
int describe_sound(const std::string &name, int32_t raw, int32_t header) {
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, raw, header, nullptr);
  if (!s) {
    std::fprintf(stderr, "vexinfo: %s: %s\n", name.c_str(), VEXLastError());
    return 1;
  }
  std::printf("%s\n", name.c_str());
  print_sound(s->type[0] ? s->type : "Tolm", s->source_rate, s->source_bits, s->source_channels,
              s->total / s->source_frame_bytes);
  SFileClose(s);
  return 0;
}

// Sound with no picture, as the graphics source's open found it.
int describe_sound_only(const std::string &name, const GFILE *g) {
  GFILEINFO info;
  GFileDescribe(g, &info);
  std::printf("%s\n", name.c_str());
  print_sound(info.sound_codec[0] ? info.sound_codec : "unknown", info.sound_rate, info.sound_bits,
              info.sound_channels, info.sound_frames);
  return 0;
}

bool is_wav_name(const std::string &name) {
  return name.size() >= 4 && (name.compare(name.size() - 4, 4, ".wav") == 0 || name.compare(name.size() - 4, 4, ".WAV") == 0);
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::string(argv[1]) == "--codecs")
    return list_codecs();
  vex::tools::CommandLine cmd(argc, argv, kSwitches, {{"-v", "/V"}, {"--verbose", "/V"}});
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
  if (cmd.report_bad_switches("vexinfo"))
    return 2;
  if (const std::string rest = cmd.leftover(); !rest.empty())
    return vex::tools::bad_command_line("vexinfo", "unknown switch: " + rest);
  if (cmd.names().empty())
    return vex::tools::bad_command_line("vexinfo", "no FILE to describe");
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
    // Everything default: the whole source at its own rate, 256 palette
    // entries for the 8-bit frames that -v fetches.
    GFILE *g = GFileOpenWith(name.c_str(), nullptr); // every option at its default
    if (!g) {
      std::fprintf(stderr, "vexinfo: %s: %s\n", name.c_str(), VEXLastError());
      status = 1;
      continue;
    }
    // Sound with no picture: the graphics source offers a silent 4 x 4
    // picture, and describes the sound its open found.
    const int one = g->kind == GFILE_SOUND_ONLY ? describe_sound_only(name, g) : describe_picture(name, g, verbose);
    GFileClose(g);
    status = std::max(status, one);
  }
  return status;
}

#include "common/sound_conversion.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "common/chunk_stream.h"
#include "vexutil/csfile.h"
#include "vexutil/file.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace vex::tools {
namespace {

std::string *g_error = nullptr; // the source's message for the failure text

int32_t keep_error(const char *text, int32_t level) {
  if (level == 2 && text && g_error)
    *g_error = text;
  return 0;
}

// A new temporary file beside `out`; "" (the reason recorded) when its
// folder takes no file.
std::string reserve_temporary(const std::string &out) {
  std::vector<char> name(out.size() + 10);
  return VEXFileReserveTemporary(out.c_str(), name.data(), static_cast<uint32_t>(name.size())) ? name.data() : "";
}

bool is_wave_name(const std::string &name) {
  if (name.size() < 4)
    return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".wav";
}

// Why IN did not open: the source's message and the reason, and for a chunk
// stream without a rate the switch that gives it.
std::string open_failure(const SoundJob &j, const std::string &error) {
  const std::string reason = VEXLastError();
  std::string text = "vexconv: " + j.in + ": " + (error.empty() || error == reason ? "" : error + " ") + reason;
  if (is_chunk_stream_name(j.in) && j.rate == 0 && reason.find("sample rate") != std::string::npos)
    text += " (/R<Hz>)";
  return text;
}

// What the sound source found wrong in IN after it delivered what it could.
std::string damage_of(const SFILE *s) {
  const char *damage = s ? SFileDamage(s) : nullptr;
  return damage ? damage : "";
}

} // namespace

bool is_sound_output(const std::string &name) { return is_chunk_stream_name(name) || is_wave_name(name); }

const char *sound_usage() {
  return "usage: vexconv IN OUT.vcs [switches]  or  vexconv IN OUT.wav [switches]\n"
         "Writes the sound of IN (WAV, raw PCM, a list or numbered series, a Korvane,\n"
         "Tolm, AVI or QuickTime movie, a self-playing executable, a chunk stream)\n"
         "as compressed sound chunks, or as a WAV file (/R /B /C /S /E /T /Y /D /K\n"
         "only). A chunk stream IN needs /R, the rate it was made at, unless it\n"
         "holds transform blocks, which tell it.\n"
         "  /L<n>   compression 100 x m + q: m >= 1 the transform codec (16-bit,\n"
         "          16000 Hz or more), else Huffman-coded deltas; quality q 0-9\n"
         "          lossless, up to 99 coarser (default 104)\n"
         "  /R<Hz> /B<8|16> /C<1|2>  output rate, bits, channels (default: IN's)\n"
         "  /S<ms> /E<ms>  start and end (negative: frame numbers of a movie)\n"
         "  /T<n>   track of a movie (also --track N)\n"
         "  /Y<1-5> IN is raw PCM: 1 8-bit mono, 2 8-bit stereo, 3 16-bit mono,\n"
         "          4 16-bit stereo, 5 8-bit mono; /D<Hz> its rate (11025), /K<n>\n"
         "          header bytes to skip; raw PCM is always stored in raw chunks\n"
         "  /M<ms>  sound per chunk (default 1000)\n"
         "  /I<ms>  silence before the sound;  /U<ms> total length (default IN's),\n"
         "          /F fills it by repeating IN\n"
         "  /Y, -y  (no number) replace OUT when it exists;  /Q, -q quiet\n";
}

int read_sound_job(CommandLine &cmd, SoundJob &j) {
  j.wave = cmd.names().size() >= 2 && is_wave_name(cmd.names()[1]);
  if (j.wave) {
    // The sound source's switches only: the chunk writer's are no WAV's.
    SFileCommandLine(cmd.switches(), &j.rate, &j.bits, &j.channels, &j.start, &j.end, &j.track, &j.raw, &j.header);
  } else {
    int32_t p_flag = 0;
    CSFileCommandline(cmd.switches(), &j.compression, &p_flag, &j.rate, &j.bits, &j.channels, &j.start, &j.end,
                      &j.track, &j.raw, &j.header);
    j.chunk_ms = cmd.number('M', 1000);
    j.lead_in_ms = cmd.number('I', 0);
    j.pass_ms = cmd.number('U', 0);
    j.fill = cmd.flag('F');
  }
  j.replace = cmd.flag('Y') || cmd.flag('O'); // /Y without a number, after the raw format took /Y<n>
  j.quiet = cmd.flag('Q');
  if (cmd.report_bad_switches("vexconv"))
    return 2;
  if (const std::string rest = cmd.leftover(); !rest.empty())
    return bad_command_line("vexconv", "unknown switch: " + rest);
  if (cmd.names().size() != 2)
    return bad_command_line("vexconv", "wants IN and OUT, got " + counted(cmd.names().size(), "name"));
  if (j.chunk_ms <= 0 || j.lead_in_ms < 0 || j.pass_ms < 0)
    return bad_command_line("vexconv", "/M takes 1 or more, /I and /U 0 or more");
  j.in = cmd.names()[0];
  j.out = cmd.names()[1];
  return 0;
}

namespace {

// The sound of IN as a WAV file, in the format the switches ask for.
int convert_wave(const SoundJob &j, Talk &talk) {
  std::string error;
  g_error = &error;
  SFILE *s = SFileOpen(j.in.c_str(), j.rate, j.bits, j.channels, j.start, j.end, j.track, j.raw, j.header, keep_error);
  g_error = nullptr;
  if (!s)
    return talk.fail(open_failure(j, error));
  if (!talk.may_write(j.in, j.out, j.replace)) {
    SFileClose(s);
    return 1;
  }
  SFILEWAVE *w = SFileWaveCreate(j.out.c_str(), s->rate, s->bits, s->channels);
  if (!w) {
    SFileClose(s);
    return talk.fail("vexconv: " + j.out + ": cannot create it: " + VEXLastError());
  }
  // Progress by the source bytes taken, of those the (trimmed) source has.
  const uint32_t total = std::max<uint32_t>(s->total, 1), start = VEXTimerRead();
  std::vector<uint8_t> pcm(65536 / s->frame_bytes * s->frame_bytes);
  uint64_t bytes = 0;
  for (;;) {
    if (talk.cancelled()) {
      SFileWaveClose(w, 0);
      SFileClose(s);
      return talk.fail("vexconv: cancelled; " + j.out + " not written");
    }
    const uint32_t n = SFileGet(s, pcm.data(), static_cast<uint32_t>(pcm.size()));
    if (n == 0)
      break;
    if (!SFileWaveWrite(w, pcm.data(), n)) {
      const std::string why = VEXLastError();
      SFileWaveClose(w, 0);
      SFileClose(s);
      return talk.fail("vexconv: " + why + "; nothing was kept");
    }
    bytes += n;
    talk.progress(total - s->remaining, total, VEXTimerRead() - start);
  }
  const std::string damage = damage_of(s);
  const uint32_t rate = s->rate, bits = s->bits, channels = s->channels, frame = s->frame_bytes;
  SFileClose(s);
  if (!SFileWaveClose(w, 1))
    return talk.fail("vexconv: " + j.out + ": " + VEXLastError());
  char summary[512];
  std::snprintf(summary, sizeof summary, "%s -> %s: %llu sample frames, %u Hz %u-bit %s, %.3f s", j.in.c_str(),
                j.out.c_str(), static_cast<unsigned long long>(bytes / frame), rate, bits,
                channels == 2 ? "stereo" : "mono", static_cast<double>(bytes / frame) / rate);
  talk.done(summary);
  if (!damage.empty())
    return talk.fail("vexconv: " + j.in + ": " + damage + " (OUT holds the sound as far as it decodes)");
  return 0;
}

} // namespace

int convert_sound(const SoundJob &j, Talk &talk) {
  if (j.wave)
    return convert_wave(j, talk);
  std::string error;
  g_error = &error;
  CSFILE *cs = CSFileOpen(j.in.c_str(), j.compression, j.fill ? 1 : 0, 0, j.lead_in_ms, j.pass_ms, j.rate, j.bits,
                          j.channels, j.start, j.end, j.track, j.raw, j.header, keep_error);
  g_error = nullptr;
  if (!cs)
    return talk.fail(open_failure(j, error));
  const SFILE *s = cs->source;
  const uint32_t rate = s ? s->rate : 0, frame = s ? s->frame_bytes : 0;
  if (!talk.may_write(j.in, j.out, j.replace)) {
    CSFileClose(cs);
    return 1;
  }
  // Written under a temporary name beside the output and renamed at the
  // end, so that a cancel or a failure leaves nothing half-written.
  const std::string temporary = reserve_temporary(j.out);
  VEXFILE *out = temporary.empty() ? nullptr : VEXFileCreate(65536, temporary.c_str());
  if (!out) {
    CSFileClose(cs);
    VEXFileAbandonTemporary(temporary.c_str());
    return talk.fail("vexconv: " + j.out + ": cannot create it: " + VEXLastError());
  }
  CSFileSetOutput(cs, out);
  const uint64_t per_chunk64 = uint64_t{rate} * frame * static_cast<uint32_t>(j.chunk_ms) / 1000;
  const uint32_t per_chunk = static_cast<uint32_t>(std::max<uint64_t>(std::min<uint64_t>(per_chunk64, 1u << 30), frame));
  const uint32_t expected = std::max<uint32_t>(1, (cs->pass_bytes + per_chunk - 1) / per_chunk);
  const uint32_t start = VEXTimerRead();
  uint32_t chunks = 0;
  while (cs->pass_left > 0) {
    if (talk.cancelled()) {
      CSFileClose(cs);
      VEXFileClose(out);
      VEXFileAbandonTemporary(temporary.c_str());
      return talk.fail("vexconv: cancelled after " + counted(chunks, "chunk") + "; " + j.out + " not written");
    }
    const uint32_t before = cs->total_chunk_bytes;
    CSFilePut(cs, per_chunk);
    if (cs->total_chunk_bytes == before)
      break; // the source delivered nothing more
    ++chunks;
    talk.progress(std::min(chunks, expected), expected, VEXTimerRead() - start);
  }
  const uint32_t pcm = cs->total_pcm_bytes, coded = cs->total_chunk_bytes;
  const std::string damage = damage_of(cs->source);
  CSFileClose(cs);
  VEXFileFlush(out, 1);
  const bool failed = out->write_error != 0;
  const std::string why = failed ? VEXLastError() : ""; // the short write's reason, before anything else fails
  VEXFileClose(out);
  if (failed) {
    VEXFileAbandonTemporary(temporary.c_str());
    return talk.fail("vexconv: " + j.out + ": write failed: " + why);
  }
  if (!VEXFileCommitTemporary(temporary.c_str(), j.out.c_str()))
    return talk.fail("vexconv: " + j.out + ": " + VEXLastError());
  char summary[512];
  std::snprintf(summary, sizeof summary, "%s -> %s: %s, %u Hz %u-byte frames, %u PCM bytes in %u bytes (%.2f:1)",
                j.in.c_str(), j.out.c_str(), counted(chunks, "chunk").c_str(), rate, frame, pcm, coded,
                coded ? double(pcm) / coded : 0.0);
  talk.done(summary);
  if (!damage.empty())
    return talk.fail("vexconv: " + j.in + ": " + damage + " (OUT holds the sound as far as it decodes)");
  return 0;
}

} // namespace vex::tools

#include "common/picture_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/command_line.h"
#include "common/frame_pipe.h"
#include "vexutil/gfile.h"
#include "vexutil/ogfile.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace vex::tools {

namespace {

// The writer's messages of the running job (its callback has no context;
// one job runs at a time).
struct Heard {
  std::string error;
  bool refused = false;
};
Heard *g_heard = nullptr;

int32_t hear(const char *text, int32_t level) {
  if (!g_heard)
    return 0;
  if (level == 3 && !text)
    g_heard->refused = true;
  else if (level == 2 && text && g_heard->error.empty())
    g_heard->error = text;
  return 0;
}

std::string lower_extension(const std::string &name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return "";
  std::string ext = name.substr(dot);
  for (char &c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

struct GFileCloser {
  void operator()(GFILE *g) const { GFileClose(g); }
};
using GFilePtr = std::unique_ptr<GFILE, GFileCloser>;
struct SFileCloser {
  void operator()(SFILE *s) const { SFileClose(s); }
};
using SFilePtr = std::unique_ptr<SFILE, SFileCloser>;

GFilePtr open_source(const PictureJob &j, const std::string &name, bool colour) {
  return GFilePtr(GFileOpen(name.c_str(), colour ? GFILE_TRUE_COLOUR : 0, j.play_num, j.play_den, j.out_num,
                            j.out_den, j.crop_x, j.crop_y, j.crop_width, j.crop_height, j.first, j.last,
                            j.palette_mode, j.palette_period, j.first_index, j.palette_entries, j.palette_split,
                            j.system_colours, j.promotion, j.palette_file, nullptr, nullptr));
}

// The sound of the input under an AVI output, trimmed to the frames taken;
// null when there is none.
SFilePtr open_sound(const PictureJob &j, const std::string &name, const GFILE &g) {
  if (j.no_sound)
    return nullptr;
  if (!j.sound_from.empty())
    return SFilePtr(SFileOpen(j.sound_from.c_str(), j.sound_rate, j.sound_bits, j.sound_channels, 0, 0, 0, 0, 0,
                              nullptr));
  if (!g.has_sound)
    return nullptr;
  // Negative positions count frames of the input: its first and last.
  return SFilePtr(SFileOpen(name.c_str(), j.sound_rate, j.sound_bits, j.sound_channels, j.first > 0 ? -j.first : 0,
                            j.last > 0 ? -j.last : 0, 0, 0, 0, nullptr));
}

// Exactly `bytes` of sound into the track: what the source still has, then
// silence, so that the track keeps the movie's length.
void feed_sound(OGFILE *o, SFILE *s, std::vector<uint8_t> &pcm, uint32_t bytes) {
  pcm.resize(bytes);
  uint32_t got = 0;
  while (got < bytes) {
    const uint32_t n = SFileGet(s, pcm.data() + got, bytes - got);
    if (n == 0)
      break;
    got += n;
  }
  std::fill(pcm.begin() + got, pcm.end(), static_cast<uint8_t>(s->bits == 8 ? 0x80 : 0));
  OGFilePutSound(o, pcm.data(), bytes);
}

// No name of a still series may be the input itself (a series of
// "shot.bmp" writes shot000.bmp and on, which "shot.bmp" does not name).
bool series_spares_input(const OGFILE *o, const std::string &in, uint32_t count) {
  struct stat a {}, b {};
  if (o->kind < 1 || o->kind > 15 || ::stat(in.c_str(), &a) != 0)
    return true;
  char name[160];
  for (uint32_t i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, o->name, static_cast<int>(i)); // the writer's own template, '%' escaped
    if (::stat(name, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
      return false;
  }
  return true;
}

// Pixels between the rows GFileGet delivers (its buffer comes with the
// first frame): the width rounded up to a multiple of 4.
int32_t row_pixels(const GFILE &g) { return (g.width + 3) & ~3; }

std::string size_text(uint32_t bytes) {
  char text[16];
  CommaNum(text, bytes);
  return text;
}

} // namespace

int32_t output_depth(const std::string &name) {
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".vcs") == 0)
    return -1;
  const std::string ext = lower_extension(name);
  if (ext.empty() || ext == ".flc" || ext == ".pcx" || ext == ".gif")
    return 8;
  if (ext == ".jpg" || ext == ".tga")
    return 24;
  if (ext == ".avi" || ext == ".bmp" || ext == ".png" || ext == ".tif")
    return 0;
  return -1;
}

int convert_pictures(const PictureJob &j, Talk &talk) {
  // The input is never the output, whatever its kind; the writer asks
  // about replacing.
  if (!talk.may_write(j.in, j.out, true))
    return 1;
  const int32_t depth = output_depth(j.out);
  if (depth < 0)
    return talk.fail("vexconv: " + j.out +
                     ": no output of this kind (.flc, .avi, .bmp, .jpg, .png, .tga, .tif, .pcx, .gif or .vcs)");
  // Outputs that keep the input's depth take 8-bit frames from palettised
  // inputs (their palettes exact) and 32-bit frames from the others.
  GFilePtr g = open_source(j, j.in, depth == 24);
  if (g && depth == 0 && g->depth > 8)
    g = open_source(j, j.in, true);
  if (!g)
    return talk.fail("vexconv: " + j.in + ": " + VEXLastError() +
                     (CommandLine::looks_like_switch(j.in) ? " (nor is it a switch of vexconv)" : ""));
  const uint32_t count = static_cast<uint32_t>(std::max(g->output_frames, 0));
  if (count == 0)
    return talk.fail("vexconv: " + j.in + ": no frames to write");
  Heard heard;
  g_heard = &heard;
  const int32_t flags = j.replace ? OGFILE_NO_OVERWRITE_QUESTION : talk.ask_flags();
  OGFILE *o = OGFileCreate(j.codec.c_str(), j.out.c_str(), g->true_colour, static_cast<int32_t>(count), g->out_num,
                           g->out_den, g->width, g->height, row_pixels(*g), hear, flags);
  g_heard = nullptr;
  if (!o) {
    if (heard.refused)
      return talk.fail("vexconv: " + j.out + " exists; add /O to replace it");
    return talk.fail("vexconv: " + j.out + ": " + (heard.error.empty() ? "" : heard.error + " ") + VEXLastError());
  }
  if (!series_spares_input(o, j.in, count)) {
    OGFileDiscard(o);
    return talk.fail("vexconv: " + j.out + ": the numbered names would replace the input " + j.in);
  }
  const bool avi = o->kind == OGFILE_AVI;
  SFilePtr sound = avi ? open_sound(j, j.in, *g) : nullptr;
  if (avi && !sound && !j.sound_from.empty()) {
    OGFileDiscard(o);
    return talk.fail("vexconv: " + j.sound_from + ": " + VEXLastError());
  }
  std::vector<uint8_t> pcm;
  const uint32_t start = VEXTimerRead();
  const int32_t pitch = row_pixels(*g) * (g->true_colour ? 4 : 1);
  const bool true_colour = g->true_colour != 0;
  {
    FramePipe frames(g.get(), count);
    for (uint32_t i = 0; i < count; ++i) {
      if (talk.cancelled()) {
        OGFileDiscard(o);
        return talk.fail("vexconv: cancelled after " + std::to_string(i) + " frames; " + j.out + " not written");
      }
      const FramePipe::Frame &f = frames.next();
      if (!f.ok) {
        OGFileDiscard(o);
        return talk.fail("vexconv: " + j.in + ": output frame " + std::to_string(i + 1) + " cannot be read: " +
                         f.reason);
      }
      if (f.pitch != pitch) {
        OGFileDiscard(o);
        return talk.fail("vexconv: " + j.in + ": frames arrive with rows of " + std::to_string(f.pitch) + " bytes");
      }
      if (sound)
        if (const uint32_t n = OGFilePutSoundAmount(o, sound->rate, sound->bits, sound->channels))
          feed_sound(o, sound.get(), pcm, n);
      OGFilePut(o, f.pixels.data(), true_colour ? nullptr : &f.palette[0][0]);
      if (o->error) {
        OGFileDiscard(o);
        return talk.fail("vexconv: " + j.out + ": write failed at frame " + std::to_string(i + 1) + ": " +
                         VEXLastError() + "; nothing was kept");
      }
      talk.progress(i + 1, count, VEXTimerRead() - start);
    }
  }
  const std::string shown = o->display_name;
  const bool with_sound = o->avi_audio != nullptr;
  const uint32_t size = OGFileClose(o);
  const uint32_t ms = VEXTimerRead() - start;
  if (size == 0)
    return talk.fail("vexconv: " + j.out + ": cannot finish the output: " + VEXLastError());
  char summary[700];
  std::snprintf(summary, sizeof summary, "%s -> %s: %u frames, %d x %d%s, %s bytes in %.2f s (%.1f frames per second)",
                j.in.c_str(), shown.c_str(), count, g->width, g->height, with_sound ? " with sound" : "",
                size_text(size).c_str(), ms / 1000.0, ms ? count * 1000.0 / ms : 0.0);
  talk.done(summary);
  // A damaged input still gives every frame as far as it decodes; the
  // conversion then says what was wrong and fails.
  if (const char *damage = GFileDamage(g.get()))
    return talk.fail("vexconv: " + j.in + ": " + damage + " (OUT holds the frames as far as they decode)");
  return 0;
}

} // namespace vex::tools

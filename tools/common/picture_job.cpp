#include "common/picture_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
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
  std::string kept; // the file the user would not have replaced
};
Heard *g_heard = nullptr;

int32_t hear(const char *text, int32_t level) {
  if (!g_heard)
    return 0;
  if (level == 3) {
    g_heard->refused = true;
    g_heard->kept = text ? text : "";
  } else if (level == 2 && text && g_heard->error.empty())
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

// What the sources say while they work (a movie's frame count at open, the
// palette analysis inside GFileGet) goes to the user, and the user's cancel
// goes back as the callback's answer. The callback has no context: the
// listener of the running job is global (one job runs at a time). The
// sources call it on the job's thread (the opens) and on the frame pipe's
// (GFileGet); only the job's thread talks to the user, so the pipe's texts
// wait for its next poll.
class SourceListener {
public:
  explicit SourceListener(Talk &talk) : talk_(talk), job_thread_(std::this_thread::get_id()) { g_listener = this; }
  ~SourceListener() { g_listener = nullptr; }
  SourceListener(const SourceListener &) = delete;
  SourceListener &operator=(const SourceListener &) = delete;

  // The sources' own per-frame progress carries this label; the job counts
  // frames itself, so those texts are not shown (their answer still
  // cancels).
  static constexpr const char *kLabel = "Converting";

  static int32_t hear(const char *text, int32_t level) {
    SourceListener *l = g_listener;
    if (!l)
      return 0;
    if (level <= 1 && text && std::strncmp(text, "Converting frame ", 17) != 0) {
      if (std::this_thread::get_id() == l->job_thread_) {
        l->talk_.note(text);
        l->poll();
      } else {
        std::lock_guard lock(l->mutex_);
        l->latest_ = text;
      }
    }
    return l->cancel_ ? 1 : 0;
  }

  // On the job's thread: shows what the pipe's thread last heard and takes
  // the user's cancel; true once cancelled.
  bool poll() {
    std::string text;
    {
      std::lock_guard lock(mutex_);
      text.swap(latest_);
    }
    if (!text.empty())
      talk_.note(text);
    if (!cancel_ && talk_.cancelled())
      cancel_ = true;
    return cancel_;
  }
  // Stops the sources at their next message.
  void cancel() { cancel_ = true; }
  bool cancelled() const { return cancel_; }

private:
  static inline SourceListener *g_listener = nullptr;
  Talk &talk_;
  std::thread::id job_thread_;
  std::mutex mutex_;
  std::string latest_; // not shown yet
  std::atomic<bool> cancel_{false};
};

struct GFileCloser {
  void operator()(GFILE *g) const { GFileClose(g); }
};
using GFilePtr = std::unique_ptr<GFILE, GFileCloser>;
struct SFileCloser {
  void operator()(SFILE *s) const { SFileClose(s); }
};
using SFilePtr = std::unique_ptr<SFILE, SFileCloser>;

// Outputs that keep the input's depth (depth 0) take 8-bit frames from
// palettised inputs (their palettes exact) and 32-bit frames from the
// others, as the graphics source decides once it knows the depth.
GFilePtr open_source(const PictureJob &j, const std::string &name, int32_t depth) {
  GFILEOPTIONS o = GFILEOPTIONS_INIT;
  o.flags = depth == 24 ? GFILE_TRUE_COLOUR : depth == 0 ? GFILE_DEEP_TRUE_COLOUR : 0;
  o.play_num = j.play_num, o.play_den = j.play_den, o.out_num = j.out_num, o.out_den = j.out_den;
  o.crop_x = j.crop_x, o.crop_y = j.crop_y, o.crop_width = j.crop_width, o.crop_height = j.crop_height;
  o.first = j.first, o.last = j.last, o.promotion = j.promotion;
  o.palette_mode = j.palette_mode, o.palette_period = j.palette_period, o.first_index = j.first_index;
  o.palette_entries = j.palette_entries, o.palette_split = j.palette_split, o.system_colours = j.system_colours;
  o.palette_file = j.palette_file;
  o.label = SourceListener::kLabel;
  o.callback = SourceListener::hear;
  return GFilePtr(GFileOpenWith(name.c_str(), &o));
}

// The sound of the input under an AVI output, trimmed to the frames taken;
// null when there is none.
SFilePtr open_sound(const PictureJob &j, const std::string &name, const GFILE &g) {
  if (j.no_sound)
    return nullptr;
  const int32_t track = std::max(j.sound_track, 0);
  if (!j.sound_from.empty())
    return SFilePtr(SFileOpen(j.sound_from.c_str(), j.sound_rate, j.sound_bits, j.sound_channels, 0, 0, track, 0, 0,
                              SourceListener::hear));
  if (!g.has_sound && j.sound_track < 0)
    return nullptr;
  // Negative positions count frames of the input: its first and last.
  return SFilePtr(SFileOpen(name.c_str(), j.sound_rate, j.sound_bits, j.sound_channels, j.first > 0 ? -j.first : 0,
                            j.last > 0 ? -j.last : 0, track, 0, 0, SourceListener::hear));
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

// One run of convert_pictures. Each step returns "" when it went well, or
// the failure's text; an output that is not finished is discarded before
// the failure is told, so nothing of it is left.
class PictureConversion {
public:
  PictureConversion(const PictureJob &j, Talk &talk) : j_(j), talk_(talk), listener_(talk) {}
  ~PictureConversion() { discard(); }
  PictureConversion(const PictureConversion &) = delete;
  PictureConversion &operator=(const PictureConversion &) = delete;

  int run();

private:
  std::string open_input();
  std::string create_output();
  std::string check_output();
  std::string write_frames();
  std::string write_frame(const FramePipe::Frame &f, uint32_t i);
  int finish();
  void discard();
  std::string cancelled_text(uint32_t frames) const;
  std::string output_names() const;

  const PictureJob &j_;
  Talk &talk_;
  SourceListener listener_;
  GFilePtr g_;
  uint32_t count_ = 0;    // output frames
  uint32_t written_ = 0;  // output frames written: all of them, or those before the first damaged one
  OGFILE *o_ = nullptr;
  SFilePtr sound_;        // the AVI sound track's source, or null
  std::vector<uint8_t> pcm_;
  uint32_t start_ = 0;    // VEXTimerRead() when the frames began
  uint32_t first_frame_ms_ = 0; // ... and when the first was written
};

int PictureConversion::run() {
  // The input is never the output, whatever its kind; the writer asks
  // about replacing.
  if (!talk_.may_write(j_.in, j_.out, true))
    return 1;
  for (auto step : {&PictureConversion::open_input, &PictureConversion::create_output,
                    &PictureConversion::check_output, &PictureConversion::write_frames})
    if (const std::string why = (this->*step)(); !why.empty()) {
      discard();
      return talk_.fail(why);
    }
  return finish();
}

std::string PictureConversion::open_input() {
  const int32_t depth = output_depth(j_.out);
  if (depth < 0)
    return "vexconv: " + j_.out +
           ": no output of this kind (.flc, .avi, .bmp, .jpg, .png, .tga, .tif, .pcx, .gif, .vcs or .wav)";
  g_ = open_source(j_, j_.in, depth);
  if (!g_ && listener_.cancelled())
    return cancelled_text(0);
  if (!g_)
    return "vexconv: " + j_.in + ": " + VEXLastError();
  count_ = static_cast<uint32_t>(std::max(g_->output_frames, 0));
  return count_ == 0 ? "vexconv: " + j_.in + ": no frames to write" : "";
}

std::string PictureConversion::create_output() {
  Heard heard;
  g_heard = &heard;
  const int32_t flags = j_.replace ? OGFILE_NO_OVERWRITE_QUESTION : talk_.ask_flags();
  o_ = OGFileCreate(j_.codec.c_str(), j_.out.c_str(), g_->true_colour, static_cast<int32_t>(count_), g_->out_num,
                    g_->out_den, g_->width, g_->height, row_pixels(*g_), hear, flags);
  g_heard = nullptr;
  if (o_)
    return "";
  if (heard.refused)
    return "vexconv: " + (heard.kept.empty() ? j_.out : heard.kept) + " exists; add /O to replace it";
  // A FLIC named without extension is written with ".flc".
  const std::string named = lower_extension(j_.out).empty() ? j_.out + ".flc" : j_.out;
  return "vexconv: " + named + ": " + (heard.error.empty() ? "" : heard.error + " ") + VEXLastError();
}

// The names the output takes spare the input, and an AVI output has its
// sound when there is one (or the one asked for).
std::string PictureConversion::check_output() {
  if (!series_spares_input(o_, j_.in, count_))
    return "vexconv: " + output_names() + ": the numbered names would replace the input " + j_.in;
  if (o_->kind != OGFILE_AVI)
    return "";
  sound_ = open_sound(j_, j_.in, *g_);
  if (listener_.cancelled())
    return cancelled_text(0);
  if (!sound_ && !j_.sound_from.empty())
    return "vexconv: " + j_.sound_from + ": " + VEXLastError();
  if (!sound_ && j_.sound_track >= 0 && !j_.no_sound)
    return "vexconv: " + j_.in + ": no sound track " + std::to_string(j_.sound_track) + ": " + VEXLastError();
  return "";
}

// Every frame, or those before the first that did not decode in full: the
// source delivers a damaged frame as far as it decodes and repeats the
// last one past the damage, and neither is a frame of IN. While a frame is
// awaited (the first one waits for the palette analysis) the listener
// polls the user every tenth of a second.
std::string PictureConversion::write_frames() {
  start_ = VEXTimerRead();
  FramePipe frames(g_.get(), count_);
  // Declared after the pipe, so it runs first on the way out: a source in
  // the middle of a long step stops at its next message, and the pipe's
  // thread ends soon.
  struct StopSource {
    SourceListener &l;
    ~StopSource() { l.cancel(); }
  } stop{listener_};
  for (written_ = 0; written_ < count_; ++written_) {
    const FramePipe::Frame *f = nullptr;
    while (!listener_.poll() && !(f = frames.next_for(std::chrono::milliseconds(100)))) {
    }
    if (!f || (!f->ok && listener_.cancelled()))
      return cancelled_text(written_);
    if (f->ok && f->damaged)
      break;
    if (const std::string why = write_frame(*f, written_); !why.empty())
      return why;
    // The rate and the time left count from the first frame: the palette
    // analysis before it was shown on its own.
    if (written_ == 0)
      first_frame_ms_ = VEXTimerRead();
    talk_.progress(written_ + 1, count_, VEXTimerRead() - first_frame_ms_);
  }
  if (written_ == 0) {
    const char *damage = GFileDamage(g_.get());
    return "vexconv: " + j_.in + ": no frame decodes: " + (damage ? damage : "the first is damaged") + "; " +
           output_names() + " not written";
  }
  return "";
}

std::string PictureConversion::cancelled_text(uint32_t frames) const {
  return "vexconv: cancelled after " + counted(frames, "frame") + "; " + output_names() + " not written";
}

// Frame i (from 0), with the sound that goes before it.
std::string PictureConversion::write_frame(const FramePipe::Frame &f, uint32_t i) {
  if (!f.ok)
    return "vexconv: " + j_.in + ": output frame " + std::to_string(i + 1) + " cannot be read: " + f.reason;
  const bool true_colour = g_->true_colour != 0;
  if (f.pitch != row_pixels(*g_) * (true_colour ? 4 : 1))
    return "vexconv: " + j_.in + ": frames arrive with rows of " + std::to_string(f.pitch) + " bytes";
  if (sound_)
    if (const uint32_t n = OGFilePutSoundAmount(o_, sound_->rate, sound_->bits, sound_->channels))
      feed_sound(o_, sound_.get(), pcm_, n);
  OGFilePut(o_, f.pixels.data(), true_colour ? nullptr : &f.palette[0][0]);
  if (o_->error)
    return "vexconv: " + output_names() + ": write failed at frame " + std::to_string(i + 1) + ": " + VEXLastError() +
           "; nothing was kept";
  return "";
}

// Closes the output under its name and tells the summary; a damaged input
// gave the frames before its damage, and the conversion then says how many
// of how many and what was wrong, and fails.
int PictureConversion::finish() {
  const std::string names = output_names();
  const std::string shown = o_->display_name;
  const bool with_sound = o_->avi_audio != nullptr;
  const uint32_t size = OGFileClose(o_);
  o_ = nullptr;
  const uint32_t ms = VEXTimerRead() - start_;
  if (size == 0)
    return talk_.fail("vexconv: " + names + ": cannot finish the output: " + VEXLastError());
  const std::string frames =
      written_ == count_ ? counted(count_, "frame") : std::to_string(written_) + " of " + counted(count_, "frame");
  char summary[700];
  std::snprintf(summary, sizeof summary, "%s -> %s: %s, %d x %d%s, %s bytes in %.2f s (%.1f frames per second)",
                j_.in.c_str(), shown.c_str(), frames.c_str(), g_->width, g_->height, with_sound ? " with sound" : "",
                size_text(size).c_str(), ms / 1000.0, ms ? written_ * 1000.0 / ms : 0.0);
  talk_.done(summary);
  if (const char *damage = GFileDamage(g_.get()))
    return talk_.fail("vexconv: " + j_.in + ": " + frames + "; " + damage);
  return 0;
}

// The files the output is written to, as messages name them: the FLIC or
// AVI file ("clip" is written as clip.flc), or a series' first and last.
std::string PictureConversion::output_names() const {
  if (!o_)
    return j_.out;
  if (o_->kind == OGFILE_FLIC || o_->kind == OGFILE_AVI)
    return o_->display_name;
  char first[160], last[160];
  std::snprintf(first, sizeof first, o_->name, 0); // the writer's own template, '%' escaped
  std::snprintf(last, sizeof last, o_->name, static_cast<int>(std::max(count_, 1u) - 1));
  return count_ > 1 ? std::string(first) + " to " + last : first;
}

void PictureConversion::discard() {
  if (o_)
    OGFileDiscard(o_);
  o_ = nullptr;
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

bool is_avi_name(const std::string &name) { return lower_extension(name) == ".avi"; }

int convert_pictures(const PictureJob &j, Talk &talk) { return PictureConversion(j, talk).run(); }

} // namespace vex::tools

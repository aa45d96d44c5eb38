#include "common/talk.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "vexutil/ui.h"
#include "vexutil/util.h"

namespace vex::tools {

namespace {

std::atomic<bool> g_cancel{false};
void on_cancel() { g_cancel = true; }

// Without a status window (quiet, or no terminal to show it on) Ctrl-C and
// termination still only ask the job to stop, so that it removes what it
// was writing; the window, when open, watches them itself.
void on_signal(int) { g_cancel = true; }
void catch_stop_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

// Both names lead to one file (links and "./" included), or, for names of
// no file yet, to one path.
bool same_file(const std::string &a, const std::string &b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec))
    return true;
  std::error_code ea, eb;
  const auto ca = std::filesystem::weakly_canonical(a, ea), cb = std::filesystem::weakly_canonical(b, eb);
  return !ea && !eb && ca == cb;
}

bool exists(const std::string &name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0;
}

} // namespace

std::string counted(uint64_t n, const std::string &noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string progress_text(uint32_t done, uint32_t total, uint32_t ms) {
  const double fps = ms > 0 ? done * 1000.0 / ms : 0.0;
  const uint32_t left_s = fps > 0 ? static_cast<uint32_t>(std::lround((total - done) / fps)) : 0;
  char text[128];
  std::snprintf(text, sizeof text, "Frame %u of %u (%u%%)  %.1f fps  %u:%02u left", done, total,
                total ? static_cast<unsigned>(uint64_t{done} * 100 / total) : 100u, fps, left_s / 60, left_s % 60);
  return text;
}

TerminalTalk::TerminalTalk(const std::string &info, bool quiet) : quiet_(quiet) {
  StatusInit(nullptr, nullptr, 1); // a command line never waits for Done
  // Progress only where somebody watches: a terminal or a window.
  const bool watched = isatty(STDERR_FILENO) == 1 || std::string(VEXUIFrontName()) == "gtk";
  if (!quiet && watched)
    open_ = StatusOpen("vexconv", info.c_str(), on_cancel) == 1;
  if (!open_)
    catch_stop_signals();
}

TerminalTalk::~TerminalTalk() { StatusClose(0); }

int TerminalTalk::fail(const std::string &message) {
  StatusClose(0);
  std::fprintf(stderr, "%s\n", message.c_str());
  return 1;
}

bool TerminalTalk::may_write(const std::string &in, const std::string &out, bool replace) {
  // The library says so under the status window's caption; without a
  // window its line would not say who speaks.
  if (!open_ && same_file(in, out)) {
    std::fprintf(stderr, "vexconv: Output filename must be different than the input filename.\n");
    return false;
  }
  if (!CheckForDup(in.c_str(), out.c_str()))
    return false;
  if (!replace && exists(out) && !overwrite(out.c_str(), 0)) {
    StatusClose(0);
    std::fprintf(stderr, "vexconv: %s exists; add /O to replace it\n", out.c_str());
    return false;
  }
  return true;
}

bool TerminalTalk::cancelled() {
  if (open_)
    StatusCheck();
  return g_cancel;
}

void TerminalTalk::progress(uint32_t done, uint32_t total, uint32_t ms) {
  // Ten texts a second are plenty; the last one always shows.
  if (!open_ || (ms - last_ms_ < 100 && done < total))
    return;
  last_ms_ = ms;
  StatusSet(progress_text(done, total, ms).c_str());
}

void TerminalTalk::note(const std::string &text) {
  const uint32_t now = VEXTimerRead();
  if (!open_ || (last_note_ms_ != 0 && now - last_note_ms_ < 100))
    return;
  last_note_ms_ = now == 0 ? 1 : now;
  StatusSet(text.c_str());
}

void TerminalTalk::done(const std::string &summary) {
  StatusClose(0);
  if (!quiet_)
    std::printf("%s\n", summary.c_str());
}

} // namespace vex::tools

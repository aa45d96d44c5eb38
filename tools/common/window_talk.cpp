// vexconv --gui: the conversion runs behind a dialog of its own template,
// on the dialog's worker thread. Cancel stops the job; when it ends the
// button reads Done and the window stays until it is pressed.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

#include "common/talk.h"
#include "vexutil/ogfile.h"
#include "vexutil/ui.h"
#include "vexutil/util.h"

namespace vex::tools {

namespace {

constexpr int kProgress = 101, kNames = 102, kMessage = 103;

constexpr const char kTemplate[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<interface>
  <object class="GtkWindow" id="VEXDialog">
    <property name="title">vexconv</property>
    <property name="default-width">420</property>
    <property name="resizable">False</property>
    <child>
      <object class="GtkBox">
        <property name="visible">True</property>
        <property name="orientation">vertical</property>
        <property name="spacing">10</property>
        <property name="margin">14</property>
        <child>
          <object class="GtkLabel" id="control-102">
            <property name="visible">True</property>
            <property name="ellipsize">middle</property>
          </object>
        </child>
        <child>
          <object class="GtkProgressBar" id="control-101">
            <property name="visible">True</property>
            <property name="show-text">True</property>
            <property name="text">Loading...</property>
          </object>
        </child>
        <child>
          <object class="GtkLabel" id="control-103">
            <property name="visible">True</property>
            <property name="wrap">True</property>
            <property name="max-width-chars">50</property>
          </object>
        </child>
        <child>
          <object class="GtkButton" id="control-2">
            <property name="label">_Cancel</property>
            <property name="use-underline">True</property>
            <property name="visible">True</property>
            <property name="can-default">True</property>
            <property name="has-default">True</property>
            <property name="halign">center</property>
          </object>
        </child>
      </object>
    </child>
  </object>
</interface>
)";

class WindowTalk final : public Talk {
public:
  explicit WindowTalk(VEXWND dialog) : dialog_(dialog) {}
  int fail(const std::string &message) override {
    std::fprintf(stderr, "%s\n", message.c_str());
    VEXDialogSetItemText(dialog_, kMessage, message.c_str());
    return 1;
  }
  // The names were checked before the window opened (the duplicate-name
  // message belongs to the window's own thread).
  bool may_write(const std::string &, const std::string &out, bool replace) override {
    struct stat st {};
    if (replace || ::stat(out.c_str(), &st) != 0 || overwrite(out.c_str(), 1))
      return true;
    return fail("vexconv: " + out + " exists; add /O to replace it") == 0;
  }
  int32_t ask_flags() const override { return OGFILE_ASK_IN_DIALOG; }
  bool cancelled() override { return cancel_requested; }
  void progress(uint32_t done, uint32_t total, uint32_t ms) override {
    if (ms - last_ms_ < 50 && done < total)
      return;
    last_ms_ = ms;
    VEXDialogSetItemText(dialog_, kProgress, progress_text(done, total, ms).c_str());
  }
  void note(const std::string &text) override {
    const uint32_t now = VEXTimerRead();
    if (last_note_ms_ != 0 && now - last_note_ms_ < 100)
      return;
    last_note_ms_ = now == 0 ? 1 : now;
    VEXDialogSetItemText(dialog_, kProgress, text.c_str());
  }
  void done(const std::string &summary) override {
    std::printf("%s\n", summary.c_str());
    VEXDialogSetItemText(dialog_, kMessage, summary.c_str());
  }

  static inline std::atomic<bool> cancel_requested{false};

private:
  VEXWND dialog_;
  uint32_t last_ms_ = 0, last_note_ms_ = 0;
};

struct Job {
  std::string names;
  const std::function<int(Talk &)> *work;
  std::atomic<int> status{1};
  std::atomic<bool> finished{false};
};

int32_t worker(intptr_t value, VEXWND dialog) {
  Job &job = *reinterpret_cast<Job *>(value);
  VEXDialogSetItemText(dialog, kNames, job.names.c_str());
  WindowTalk talk(dialog);
  job.status = (*job.work)(talk);
  job.finished = true;
  return 0; // stay with Done: the user reads the outcome
}

// Cancel while the job runs asks it to stop; Done (the same button) closes.
std::atomic<Job *> g_job{nullptr};
int32_t handler(int32_t command, VEXWND) {
  Job *job = g_job;
  if (command != 2 || !job || job->finished)
    return 0;
  WindowTalk::cancel_requested = true;
  return 1;
}

} // namespace

int run_in_window(const std::string &in, const std::string &out, const std::function<int(Talk &)> &job) {
  // Asked for a window, the user gets one or is told why not: never the
  // terminal in its place.
  if (!VEXUIOpenWindows()) {
    std::fprintf(stderr, "vexconv: --gui: %s\n", VEXLastError());
    return 1;
  }
  if (!CheckForDup(in.c_str(), out.c_str()))
    return 1;
  Job j;
  j.names = in + "  ->  " + out;
  j.work = &job;
  g_job = &j;
  const VEXINSTANCE resources{kTemplate, -1, "video-x-generic", "video-x-generic"};
  if (VEXDialogInit(&resources, nullptr, reinterpret_cast<intptr_t>(&j), 1, 0, worker, handler) == 0 &&
      !j.finished)
    return 1; // the window could not be made
  // Closed before the job ended: stop it, and wait so the output is whole.
  WindowTalk::cancel_requested = true;
  while (!j.finished)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  g_job = nullptr;
  return j.status;
}

} // namespace vex::tools

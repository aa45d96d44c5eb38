// How a conversion talks to its user: progress, the checks before writing,
// cancelling, failures and the summary. TerminalTalk uses the status window
// (on the terminal unless VEXUTIL_UI says otherwise); run_in_window runs
// the job behind a dialog window of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace vex::tools {

class Talk {
public:
  virtual ~Talk() = default;
  // Reports a failure; returns the exit status 1.
  virtual int fail(const std::string &message) = 0;
  // The output may be written: not the input, and not replacing a file
  // without a Yes (or replace, which answers in advance).
  virtual bool may_write(const std::string &in, const std::string &out, bool replace) = 0;
  // The output writer's flags for its question before replacing a file:
  // asked on the terminal (0) or in the dialog window.
  virtual int32_t ask_flags() const { return 0; }
  virtual bool cancelled() = 0;
  virtual void progress(uint32_t done, uint32_t total, uint32_t ms) = 0;
  // What a source is doing before frames come ("Analyzing colors in frame
  // 3 of 280 (1%)..."), in the place of the progress; at most ten texts a
  // second are shown.
  virtual void note(const std::string &text) = 0;
  virtual void done(const std::string &summary) = 0;
};

class TerminalTalk final : public Talk {
public:
  TerminalTalk(const std::string &info, bool quiet);
  ~TerminalTalk() override;
  TerminalTalk(const TerminalTalk &) = delete;
  TerminalTalk &operator=(const TerminalTalk &) = delete;

  int fail(const std::string &message) override;
  bool may_write(const std::string &in, const std::string &out, bool replace) override;
  bool cancelled() override;
  void progress(uint32_t done, uint32_t total, uint32_t ms) override;
  void note(const std::string &text) override;
  void done(const std::string &summary) override;

private:
  bool quiet_;
  bool open_ = false;
  uint32_t last_ms_ = 0;
  uint32_t last_note_ms_ = 0;
};

// "1 frame", "2 frames": n and the noun, in the plural unless n is 1.
std::string counted(uint64_t n, const std::string &noun);

// "Frame 3 of 7 (42%)  12.5 fps  0:04 left"
std::string progress_text(uint32_t done, uint32_t total, uint32_t ms);

// Runs job on the dialog's worker thread; returns its exit status, or 1 (with
// the reason on stderr) when no window can be opened.
int run_in_window(const std::string &in, const std::string &out, const std::function<int(Talk &)> &job);

} // namespace vex::tools

#include "common/progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "vexutil/util.h"

namespace vex::tools {

namespace {
constexpr uint32_t kRedrawMs = 100;
constexpr int kBarWidth = 30;
} // namespace

Progress::Progress(uint32_t total, bool wanted)
    : total_(total), shown_(wanted && isatty(STDERR_FILENO) == 1), start_(VEXTimerRead()) {}

Progress::~Progress() { finish(); }

uint32_t Progress::elapsed() const { return VEXTimerRead() - start_; }

void Progress::update(uint32_t done) {
  if (!shown_ || total_ == 0)
    return;
  const uint32_t ms = elapsed();
  if (drawn_ && ms - last_draw_ < kRedrawMs && done < total_)
    return;
  last_draw_ = ms;
  drawn_ = true;
  const double part = static_cast<double>(done) / total_;
  const double fps = ms > 0 ? done * 1000.0 / ms : 0.0;
  const uint32_t left_s = fps > 0 ? static_cast<uint32_t>(std::lround((total_ - done) / fps)) : 0;
  char bar[kBarWidth + 1];
  const int filled = static_cast<int>(part * kBarWidth);
  for (int i = 0; i < kBarWidth; ++i)
    bar[i] = i < filled ? '#' : '-';
  bar[kBarWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%  %7.1f fps  %u:%02u left ", bar, static_cast<int>(part * 100), fps,
               left_s / 60, left_s % 60);
  std::fflush(stderr);
}

void Progress::finish() {
  if (drawn_) {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
  }
}

} // namespace vex::tools

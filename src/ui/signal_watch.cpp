#include "ui/signal_watch.h"

#include <signal.h>

#include <atomic>
#include <mutex>

namespace vex::ui::signals {

namespace {

constexpr int kWatched[] = {SIGINT, SIGHUP, SIGTERM};

// Set by the handler, read and cleared by the window's thread: lock-free
// atomics, which a signal handler may touch and other threads see.
std::atomic<unsigned> g_noted{0};
std::atomic<int> g_asking{0};
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

std::mutex g_lock;
int g_depth = 0;
struct sigaction g_before[3];

extern "C" void on_signal(int sig) {
  if (sig == SIGINT && g_asking) {
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
    return;
  }
  g_noted.fetch_or(sig == SIGINT ? interrupt : session_end);
}

} // namespace

void begin_watch() {
  std::lock_guard g(g_lock);
  if (g_depth++ > 0)
    return;
  g_noted = 0;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0; // no SA_RESTART: a read of an answer returns on a signal
  for (size_t i = 0; i < 3; ++i)
    sigaction(kWatched[i], &sa, &g_before[i]);
}

void end_watch() {
  std::lock_guard g(g_lock);
  if (g_depth == 0 || --g_depth > 0)
    return;
  for (size_t i = 0; i < 3; ++i)
    sigaction(kWatched[i], &g_before[i], nullptr);
  g_noted = 0;
}

unsigned take() {
  // A signal between the read and the clear would be lost; block them for
  // the two steps.
  sigset_t set, old;
  sigemptyset(&set);
  for (int s : kWatched)
    sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, &old);
  const unsigned got = g_noted.exchange(0);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return got;
}

AskingGuard::AskingGuard() { g_asking = 1; }
AskingGuard::~AskingGuard() { g_asking = 0; }

} // namespace vex::ui::signals

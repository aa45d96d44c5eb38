// Calls carried to the thread that owns a window, in order: the worker's
// requests (rename the button, set the caption, ask, set an item's text)
// and the private worker-ended message. send() waits for the call to run;
// post() does not. Once closed, send() and post() refuse at once, so a
// worker never waits on a window that is gone.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace vex::ui {

class Mailbox {
public:
  using Wake = std::function<void()>;
  explicit Mailbox(Wake wake) : wake_(std::move(wake)) {}

  // False when the mailbox closed before the call could run.
  bool send(std::function<void()> call);
  bool post(uint32_t message, std::function<void()> call);
  // Runs what is waiting; on the owning thread only.
  void deliver();
  void close();

private:
  struct Letter {
    uint32_t message;
    std::function<void()> call;
    std::shared_ptr<int> state; // 0 waiting, 1 run, 2 dropped; null when posted
  };
  std::mutex lock_;
  std::condition_variable done_;
  std::deque<Letter> letters_;
  bool closed_ = false;
  Wake wake_;
};

} // namespace vex::ui

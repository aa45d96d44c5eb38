#include "ui/mailbox.h"

namespace vex::ui {

namespace {
constexpr uint32_t kSentMessage = 0; // a call made with send()
}

bool Mailbox::send(std::function<void()> call) {
  auto state = std::make_shared<int>(0);
  {
    std::lock_guard g(lock_);
    if (closed_)
      return false;
    letters_.push_back(Letter{kSentMessage, std::move(call), state});
  }
  wake_();
  std::unique_lock g(lock_);
  done_.wait(g, [&] { return *state != 0; });
  return *state == 1;
}

bool Mailbox::post(uint32_t message, std::function<void()> call) {
  {
    std::lock_guard g(lock_);
    if (closed_)
      return false;
    letters_.push_back(Letter{message, std::move(call), nullptr});
  }
  wake_();
  return true;
}

void Mailbox::deliver() {
  for (;;) {
    Letter letter;
    {
      std::lock_guard g(lock_);
      if (letters_.empty())
        return;
      letter = std::move(letters_.front());
      letters_.pop_front();
    }
    letter.call(); // outside the lock: it may send or post itself
    if (letter.state) {
      std::lock_guard g(lock_);
      *letter.state = 1;
      done_.notify_all();
    }
  }
}

void Mailbox::close() {
  std::deque<Letter> dropped; // destroyed outside the lock
  std::lock_guard g(lock_);
  closed_ = true;
  for (Letter &l : letters_)
    if (l.state)
      *l.state = 2;
  dropped.swap(letters_);
  done_.notify_all();
}

} // namespace vex::ui

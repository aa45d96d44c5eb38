// Records what a source or a writer tells the user through its
// VEXMessageCallback (a plain function with no user pointer, so the log in
// use is this thread's latest MessageLog).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit {

struct Message {
  std::string text; // empty for a null text (a refused overwrite)
  int32_t level;    // 0 progress, 1 first progress, 2 error, 3 refused overwrite
};

class MessageLog {
public:
  MessageLog();
  ~MessageLog();
  MessageLog(const MessageLog &) = delete;
  MessageLog &operator=(const MessageLog &) = delete;

  // The callback to hand to the library; records into the thread's log.
  static int32_t callback(const char *text, int32_t level);

  // Answer "cancel" to the progress message with this index (0-based, over
  // every message recorded); -1: never.
  void cancel_at(int index) { cancel_at_ = index; }
  void clear() { messages_.clear(); }

  const std::vector<Message> &messages() const { return messages_; }
  // The messages of one level, in order.
  std::vector<std::string> at_level(int32_t level) const;
  // Every text, one a line.
  std::string text() const;

private:
  int32_t record(const char *text, int32_t level);

  std::vector<Message> messages_;
  int cancel_at_ = -1;
  MessageLog *outer_;
};

} // namespace vex::testkit

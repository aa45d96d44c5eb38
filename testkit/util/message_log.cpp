#include "testkit/util/message_log.h"

namespace vex::testkit {
namespace {

thread_local MessageLog *current = nullptr;

} // namespace

MessageLog::MessageLog() : outer_(current) { current = this; }

MessageLog::~MessageLog() { current = outer_; }

int32_t MessageLog::callback(const char *text, int32_t level) {
  return current != nullptr ? current->record(text, level) : 0;
}

int32_t MessageLog::record(const char *text, int32_t level) {
  messages_.push_back({text != nullptr ? text : "", level});
  const bool progress = level == 0 || level == 1;
  return progress && static_cast<int>(messages_.size()) - 1 == cancel_at_ ? 1 : 0;
}

std::vector<std::string> MessageLog::at_level(int32_t level) const {
  std::vector<std::string> out;
  for (const Message &m : messages_)
    if (m.level == level)
      out.push_back(m.text);
  return out;
}

std::string MessageLog::text() const {
  std::string out;
  for (const Message &m : messages_)
    out += m.text + "\n";
  return out;
}

} // namespace vex::testkit

// The files one open of a source tries, each opened once.
//
// A source offers its input to reader after reader, and a name without
// extension becomes a different file for each of them (clip.flc, clip.kvn,
// clip.avi, ...). The first time a name is asked for, its file is opened as
// a byte source and its first bytes are read; every later question about
// that name (does it exist, what does it start with, how large is it) and
// every reader that takes it use that one open. A name that does not open
// is remembered with its reason, so asking again costs nothing either.
//
// Copies share what has been opened, so a second source over the same
// input (the palette source) needs no open of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "util/status.h"

namespace vex::lists {

// Bytes read at the first open: enough for every reader's quick test.
inline constexpr size_t kPrefixBytes = 4096;

// One name as a reader is offered it.
struct InputFile {
  std::string name;
  file::ByteSource source;      // open only when the file opened
  std::vector<uint8_t> prefix;  // the first kPrefixBytes (fewer for a shorter file)
  util::Status status = util::Status::kOk;
  std::string reason;           // why it did not open

  bool exists() const { return source.is_open(); }
  // The first n bytes when the file has them, else an empty span.
  std::span<const uint8_t> first(size_t n) const {
    return prefix.size() >= n ? std::span<const uint8_t>(prefix.data(), n) : std::span<const uint8_t>();
  }
};

class InputFiles {
public:
  // The file of that name, opened at the first question. When it does not
  // open, its reason becomes the thread's last one again.
  const InputFile &get(const std::string &name);
  bool exists(const std::string &name) { return get(name).exists(); }

private:
  std::vector<std::shared_ptr<const InputFile>> files_;
};

} // namespace vex::lists

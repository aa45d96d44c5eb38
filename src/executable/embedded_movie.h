// Movies inside self-playing executables. The executable names where its
// movie starts in string-table block 1 (resource type 6, name 1): the first
// ':' followed by a decimal digit, then the byte offset in decimal, e.g.
// "movie:183808". The movie itself lies at that offset of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "executable/pe_image.h"

namespace vex::executable {

// The offset the string block names: its 16-bit characters are scanned for
// the first ':' followed by a digit, and the digits after it are read. Null
// without such a ':', when the number does not fit in 32 bits, or when it
// lies at or past file_size (the reason recorded).
std::optional<uint32_t> offset_in_strings(std::span<const uint8_t> block, uint64_t file_size);

// The movie offset of an executable image (null, with the reason recorded,
// when it has none).
std::optional<uint32_t> embedded_movie_offset(const ImageBytes &image);

// An executable opened for reading, with the offset of its movie. The
// descriptor is closed with the object.
class EmbeddedMovie {
public:
  // Null unless the file opens and names a movie inside itself.
  static std::optional<EmbeddedMovie> open(const char *name);

  EmbeddedMovie(EmbeddedMovie &&other) noexcept : fd_(other.fd_), offset_(other.offset_) { other.fd_ = -1; }
  EmbeddedMovie &operator=(EmbeddedMovie &&) = delete;
  ~EmbeddedMovie();

  int fd() const { return fd_; }
  uint32_t offset() const { return offset_; }
  // Moves the descriptor's position to the movie; false when it cannot.
  bool seek_to_movie() const;

private:
  EmbeddedMovie(int fd, uint32_t offset) : fd_(fd), offset_(offset) {}
  int fd_;
  uint32_t offset_;
};

// True when the name's extension is ".exe" in any case.
bool is_executable_name(const char *name);

} // namespace vex::executable

// Whether a file's first twelve bytes can start an AVI file: the RIFF
// header the AVI demuxer requires before anything else ("RIFF" or "ON2 ",
// the size, then "AVI ", "AVIX", "AVI\x19", "ON2f" or "AMV "). A file
// that fails this is refused by the demuxer at its first read, so the
// sources need not offer it.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace vex::movie {

inline bool may_be_avi(std::span<const uint8_t> head) {
  if (head.size() < 12)
    return false;
  static constexpr char kHeaders[][8] = {
      {'R', 'I', 'F', 'F', 'A', 'V', 'I', ' '}, {'R', 'I', 'F', 'F', 'A', 'V', 'I', 'X'},
      {'R', 'I', 'F', 'F', 'A', 'V', 'I', 0x19}, {'O', 'N', '2', ' ', 'O', 'N', '2', 'f'},
      {'R', 'I', 'F', 'F', 'A', 'M', 'V', ' '},
  };
  for (const auto &h : kHeaders)
    if (std::memcmp(head.data(), h, 4) == 0 && std::memcmp(head.data() + 8, h + 4, 4) == 0)
      return true;
  return false;
}

} // namespace vex::movie

// The sound of one Tolm track, packet by packet. A frame record holds one
// packet per track (a length word, then the packet); a packet is the
// decoded byte count (32-bit) and the coded blocks of the transform codec,
// decoded in stream order until that many bytes are out (the last block's
// output is cut to the count). The blocks always carry 16-bit sound; a
// track that says it is 8-bit gets each sample's high byte plus 128.
#pragma once

#include <cstdint>
#include <memory>

#include "audio_codec/audio_codec.h"
#include "formats/tolm/tolm_reader.h"

namespace vex::sfile {

class TolmTrackReader {
public:
  // Null when the track index is out of range or the track says it holds
  // no decodable sound, or the decoder cannot be opened.
  static std::unique_ptr<TolmTrackReader> open(formats::tolm::TOLM *t, uint32_t track);

  uint32_t rate() const { return rate_; }
  uint32_t bits() const { return bits_; }
  uint32_t channels() const { return channels_; }
  // Output bytes of the largest packet the track table announces.
  uint32_t buffer_size() const { return buffer_size_; }

  // Decodes the current frame's packet into dest (at most `space` bytes;
  // more is dropped). Bytes written; 0 for a missing or empty packet.
  uint32_t read_frame(uint8_t *dest, uint32_t space);
  // Starts decoding afresh (after a jump back to the first frame).
  bool restart();

  struct Key {}; // only open() makes one
  explicit TolmTrackReader(Key) {}

private:
  struct Free {
    void operator()(AUDIODEC *d) const { AudioCodecFree(d); }
  };
  formats::tolm::TOLM *tolm_ = nullptr;
  uint32_t track_ = 0;
  uint32_t rate_ = 0, bits_ = 16, channels_ = 1, buffer_size_ = 0;
  std::unique_ptr<AUDIODEC, Free> decoder_;
};

} // namespace vex::sfile

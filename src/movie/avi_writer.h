// Writing AVI files for the output writer: a file, its video and audio
// streams with rate and scale, formats (a bitmap header with colour table,
// a PCM wave format), samples with key-frame flags, release. The video
// stream takes uncompressed bottom-up bitmap rows; a compressed stream made
// over it encodes them with a codec the caller names. Results: 0 success.
//
// Samples are held back until every stream has its format, because the
// muxer needs all streams before it writes the header. 24-bit uncompressed
// rows are stored bottom-up (positive height); 8-bit ones top-down
// (negative height), because the muxer cannot combine a colour table with
// the bottom-up marker. A changed colour table goes into the file as a
// palette-change chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "movie/avi_reader.h"

namespace vex::movie {

struct OutFile;
struct OutStream;

constexpr uint32_t kKeyFrame = 0x10;
constexpr int32_t kWriteError = 4;
constexpr int32_t kNoCodec = 5;
constexpr int32_t kTooLate = 6; // streams must all be made before samples are written

struct StreamHeader {
  uint32_t type;        // kVideo or kAudio
  uint32_t handler;     // codec four-character code; informational
  uint32_t scale, rate; // samples per second = rate / scale
  uint32_t initial_frames;
  uint32_t suggested_buffer_size;
  uint32_t sample_size; // bytes per audio sample frame; 0 for video
  Rect frame;
};

// Creates (or empties) the file.
int32_t FileCreate(OutFile **file, const char *name);
int32_t FileCreateStream(OutFile *file, OutStream **stream, const StreamHeader *header);
// A stream that encodes what is written to it with encoder `codec` (a name
// from VideoEncoders) and hands it to `source`'s place in the file;
// quality 0..10000 (-1: the encoder's default). Null or empty `codec`
// fails with kNoCodec: the source stream itself is the uncompressed one.
int32_t MakeCompressedStream(OutStream **compressed, OutStream *source, const char *codec, int32_t quality);
// Video: a 40-byte bitmap header, then for 8 bits a 256-entry colour
// table (blue, green, red, 0). Audio: a PCM wave format (16 or 18 bytes).
// A later call may change the colour table only.
int32_t StreamSetFormat(OutStream *s, int32_t position, const void *format, int32_t size);
// Video: one frame of bottom-up rows padded to 4 bytes at `start`. Audio:
// `samples` sample frames. `flags` may carry kKeyFrame.
int32_t StreamWrite(OutStream *s, int32_t start, int32_t samples, const void *data, int32_t bytes, uint32_t flags,
                    int32_t *samples_written, int32_t *bytes_written);
// A stream stays part of the file until the file is released.
void OutStreamRelease(OutStream *s);
// Finishes the file (index and headers) and closes it; 0 when all went well.
int32_t FileRelease(OutFile *file);

struct EncoderInfo {
  std::string name;        // what MakeCompressedStream takes
  std::string description; // for the user
};
// Video encoders that can go into an AVI file on this system, leaving out
// those bound to a device.
std::vector<EncoderInfo> VideoEncoders();

} // namespace vex::movie

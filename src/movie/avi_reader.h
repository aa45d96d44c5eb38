// Reading AVI files stream by stream, for the graphics source and the
// sound source: the first (or n-th) video or audio stream, its
// information, frames as packed device-independent bitmaps, and the sound
// samples by position. Results follow one rule: 0 is success.
//
// Everything reads a byte source the caller opened (the file once, or a
// span of memory that outlives the streams): a stream keeps a copy, so
// several streams and the file's information come from one open.
#pragma once

#include <cstddef>
#include <cstdint>

#include "file/byte_source.h"

namespace vex::movie {

// Stream types as the four characters read little-endian.
constexpr uint32_t fourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
constexpr uint32_t kVideo = fourcc('v', 'i', 'd', 's');
constexpr uint32_t kAudio = fourcc('a', 'u', 'd', 's');

constexpr int32_t kOk = 0;
constexpr int32_t kNoFile = 1;     // no AVI file, or no such stream
constexpr int32_t kBadArgs = 2;
constexpr int32_t kReadError = 3;

struct MovieFacts; // media_reader.h
struct Stream;   // one open stream
struct Getter;   // frame getter of a video stream

struct Rect {
  int32_t left, top, right, bottom;
};

struct StreamInfo {
  uint32_t type;        // kVideo or kAudio
  uint32_t handler;     // codec four-character code, 0 when none
  uint32_t scale, rate; // samples per second = rate / scale
  uint32_t start;       // first sample
  uint32_t length;      // samples (video frames, audio sample frames)
  uint32_t sample_size; // bytes per sample; 0 when they vary (video)
  Rect frame;           // 0, 0, width, height for video
};

// What the file holds, in the terms of its first streams.
struct FileInfo {
  uint32_t streams;
  int32_t width, height; // of the first video stream; 0 without video
  uint32_t scale, rate;  // of the first stream
  uint32_t length;       // its samples
};

// Wave format as it is stored (little-endian, 16 bytes + extra size). The
// reader always reports PCM (tag 1, 16 bytes): sound is delivered decoded,
// at the track's rate, 16-bit (8-bit for 8-bit PCM tracks), at most 2
// channels, so a track of MP3 or AC-3 reaches the sound source as 16-bit
// PCM. AVI tracks carry no presentation times: when a video track reorders
// pictures (h264 with B-frames), frames are counted in the order the
// decoder hands them out.
#pragma pack(push, 1)
struct WaveFormat {
  uint16_t format_tag; // 1 = PCM
  uint16_t channels;
  uint32_t samples_per_sec;
  uint32_t avg_bytes_per_sec;
  uint16_t block_align;
  uint16_t bits_per_sample;
  uint16_t extra_size; // only in the 18-byte form
};
#pragma pack(pop)
constexpr uint16_t kPcmFormatTag = 1;
constexpr int32_t kPcmFormatSize = 16;

// Bitmap header in front of the pixels of a packed bitmap (40 bytes).
#pragma pack(push, 1)
struct BitmapHeader {
  uint32_t size;
  int32_t width, height; // height > 0: rows bottom-up
  uint16_t planes, bit_count;
  uint32_t compression; // 0 = uncompressed rows
  uint32_t size_image;
  int32_t x_pels_per_meter, y_pels_per_meter;
  uint32_t colors_used, colors_important;
};
#pragma pack(pop)
static_assert(sizeof(BitmapHeader) == 40);

int32_t FileInfoOf(const file::ByteSource &source, FileInfo *info);

// Opens stream `index` (0-based) among the streams of `type`.
int32_t StreamOpenFromSource(Stream **stream, const file::ByteSource &source, uint32_t type, int32_t index);
int32_t StreamInfoOf(Stream *s, StreamInfo *info);
int32_t StreamStart(Stream *s);
int32_t StreamLength(Stream *s);
// Copies at most *size bytes of the stream format (video: the bitmap
// header; audio: the 16-byte PCM wave format of the delivered samples);
// *size becomes the format's whole length. A null `format` only asks the
// length.
int32_t StreamReadFormat(Stream *s, int32_t position, void *format, int32_t *size);
// Video: the size of sample `start` in *bytes (buffer must be null; one
// sample). Audio: up to `samples` sample frames from `start` into `buffer`
// of `buffer_size` bytes; *bytes and *samples_read tell what came.
// Positions and lengths of audio count delivered PCM sample frames.
int32_t StreamRead(Stream *s, int32_t start, int32_t samples, void *buffer, int32_t buffer_size, int32_t *bytes,
                   int32_t *samples_read);
void StreamRelease(Stream *s);

// Frames are uncompressed to 8 bits with a colour table for palettised
// streams, 32 bits for streams with alpha, else 24 bits.
Getter *StreamGetFrameOpen(Stream *s);
// Packed bitmap of frame `position`: header, colour table (8-bit only,
// 256 entries blue, green, red, 0), bottom-up rows padded to 4 bytes. Valid
// until the next call on the getter; null on failure.
const void *StreamGetFrame(Getter *g, int32_t position);
// StreamGetFrame in two steps, for a caller that may take the picture
// straight into rows of its own: decode frame `position` (false when
// nothing decodes; the packed bitmap is left as it was), then either
// StreamGetFrame at the same position (which converts without decoding
// again) or StreamFrameInto: 32-bit rows top row first, `pitch` bytes
// apart, the same colours as the bitmap and the fourth byte kept (32-bit
// streams) or 0. False when that cannot be done exactly; the bitmap is
// then the way.
bool StreamDecodeFrame(Getter *g, int32_t position);
// The packed bitmap StreamGetFrame fills: its header is valid from the
// getter's open, its table and rows hold the last frame converted (zero
// before the first). Null for a null getter.
const void *StreamFrameBitmap(const Getter *g);
bool StreamFrameInto(Getter *g, int32_t position, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch);
void StreamGetFrameClose(Getter *g);
// The codings of the file as the video stream's reader knows them (see
// VideoReader::facts); false for a null or audio stream.
bool StreamFactsOf(Stream *s, MovieFacts *out);

} // namespace vex::movie

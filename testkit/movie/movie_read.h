// Movies read whole through the movie readers into plain bytes, test
// bitmaps for the AVI writer, and the ffmpeg tool's view of sound
// packets: the set-up the movie tests share. Nothing here judges a
// result; the tests compare what these return.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "vexutil/movie.h"

namespace vex::testkit {

// The current QTFile frame, rows packed (width x 4 bytes, or width at 8 bits).
std::vector<uint8_t> qt_pixels(const QTFILE *qt);
// Every frame of a QuickTime movie in order, blue-green-red-alpha, top
// row first, one after another; empty when QTFileOpen refuses the file.
std::vector<uint8_t> qt_all_frames(const std::string &file);

// A packed bitmap (40-byte header; at 8 bits a table of 256 blue, green,
// red, 0 entries; rows bottom-up, padded to 4 bytes) as blue-green-red
// bytes, top row first.
std::vector<uint8_t> dib_bgr(const uint8_t *dib);
// Every frame of the first video stream of an AVI file through the frame
// getter, as dib_bgr gives them, one after another; empty when refused.
std::vector<uint8_t> avi_all_frames(const std::string &file);

// A packed bitmap of a moving pattern for the AVI writer: frame f, at 8 or
// 24 bits; at 8 bits the table depends on `palette`. Smooth (no
// wrap-around edges) so that lossy codecs keep it well.
struct Dib {
  std::vector<uint8_t> format; // header (+ table)
  std::vector<uint8_t> rows;   // bottom-up
  std::vector<uint8_t> bgr() const; // its colours, as dib_bgr
};
Dib pattern_dib(int32_t width, int32_t height, int bits, int frame, int palette = 0);

// What a reader made of a movie with pictures and sound: every frame in
// order, frame 1 asked for again after them (a jump back), every sound
// byte, and the first second of sound asked for again from the start.
struct MovieRead {
  int opened = 0; // pictures and sound readers that opened
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint8_t> again, sound, sound_again;
};
MovieRead read_quicktime(const file::ByteSource &source);
MovieRead read_avi(const file::ByteSource &source); // nothing unless the file has two streams

// The ffmpeg tool's view of the first sound stream's packets: time
// stamps, durations, the samples to skip that the demuxer hands over.
struct SoundPacket {
  long pts = 0, duration = 0, skip = 0;
};
std::vector<SoundPacket> sound_packets(const std::string &file);

// Puts a fill element in front of the elements of the first ADTS frame
// of `file` that names the encoder as old libfaac builds did ("libfaac
// 1.28"): extension type 0 (fill), 13 bits a decoder passes over, the
// text. The libavcodec AAC decoder then drops 1024 samples of its own
// accord, which no container field or side data says. Throws
// std::runtime_error when the file does not start with an ADTS frame
// without a checksum.
void name_old_aac_encoder(const std::string &file);

} // namespace vex::testkit

// What the still-image codecs share: the decoded picture every reader
// produces, the checks on sizes, and the entry points of each format.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "stills/still_image.h"
#include "util/bytes.h"
#include "util/limits.h"
#include "util/status.h"

namespace vex::stills {

// A picture within the library's limits (util/limits.h); anything beyond
// is damage.
inline bool size_ok(int64_t width, int64_t height) {
  return width > 0 && height > 0 && util::picture_fits(static_cast<uint64_t>(width), static_cast<uint64_t>(height));
}

// A picture top row first: indices with a table, or 32-bit colours.
struct Picture {
  Info info{};           // as stored in the file
  bool indexed = false;
  std::vector<uint8_t> index; // width x height, indexed pictures
  std::array<std::array<uint8_t, 4>, 256> table{}; // blue, green, red, 0
  std::vector<uint8_t> bgra;  // width x height x 4, true-colour pictures

  void start_indexed(int32_t w, int32_t h) {
    indexed = true;
    index.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
  }
  void start_colour(int32_t w, int32_t h) {
    indexed = false;
    bgra.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
  }
  void grey_table(int levels); // entries 0..levels-1 spread over 0..255
};

// The largest file the own readers take: the largest picture at 4 bytes a
// pixel plus room for a few headers.
inline constexpr uint64_t kMaxFileBytes = util::kMaxPixels * 4 + (1u << 20);

// The densest codings the readers meet, as the most units (pixels, blocks
// or bytes of rows) one byte of data can give: a Huffman-coded JPEG spends
// at least one bit on each 8 x 8 block of its full-size component, deflate
// gives at most 1032 bytes for one, an LZW code (9 to 12 bits) at most 4096
// values, 2731 a byte at 12 bits.
inline constexpr uint64_t kJpegBlocksPerByte = 8;
inline constexpr uint64_t kDeflateRatio = 1032;
inline constexpr uint64_t kLzwRatio = 2731;
// Run-length BMP: a run of 255 pixels takes two bytes; pictures up to
// 2048 x 2048 need no data behind them (a code ends the picture).
inline constexpr uint64_t kRleRatio = 128;
inline constexpr uint64_t kRleFreePixels = uint64_t{1} << 22;

// Whether `have` bytes of data can give the `need` units of a picture of
// width x height at `ratio` units a byte at the densest. A reader asks
// before it allocates the picture, so that a header alone never pays for
// one (up to 256 MiB): false, with the reason recorded, when they cannot.
bool data_can_fill(const char *format, int64_t width, int64_t height, uint64_t need, uint64_t ratio,
                   uint64_t have);

// What a header-only read of BMP, PCX or TGA takes of a file: every field
// their headers hold lies in the first 128 bytes.
inline constexpr size_t kHeadBytes = 128;

bool write_file(const char *name, std::span<const uint8_t> bytes);

// A decoder's refusal with its reason: records "what and where" as the
// thread's last reason and gives the result code. not_this_format is for a
// file that is not of the format at all, damaged for one whose contents
// contradict themselves.
int32_t not_this_format(const char *format, ...) __attribute__((format(printf, 1, 2)));
int32_t damaged(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Little-endian reads inside a byte span; the caller checks the range.
using util::le16;
using util::le32;

// Rows of a descriptor, counted from the top of the picture.
inline const uint8_t *top_row(const Image &im, int32_t y) {
  return im.pixels + static_cast<ptrdiff_t>(im.height - 1 - y) * im.pitch;
}
// Colour of pixel x of a top row of an 8- or 24-bit descriptor.
void colour_at(const Image &im, const uint8_t *row, int32_t x, uint8_t bgr[3]);

// Readers of the own formats over the bytes of a file of file_size bytes.
// `file` holds all of them, except that with header_only it may hold just
// the first kHeadBytes (or more) of a longer file: a header is then judged
// exactly as the whole file would judge it. With header_only only
// picture.info is filled.
int32_t decode_bmp(std::span<const uint8_t> file, uint64_t file_size, Picture &picture, bool header_only);
int32_t decode_pcx(std::span<const uint8_t> file, uint64_t file_size, Picture &picture, bool header_only);
int32_t decode_tga(std::span<const uint8_t> file, uint64_t file_size, Picture &picture, bool header_only);

// A library reader's own position in a source, for its read callbacks.
struct Cursor {
  const file::ByteSource &source;
  uint64_t at = 0;
  // Up to n bytes from the position on; how many there were.
  size_t read(void *dest, size_t n) {
    const size_t got = source.read_at(at, dest, n);
    at += got;
    return got;
  }
};

// A cursor that reads ahead, for the libraries that ask for a few bytes at
// a time (giflib takes its data blocks a length byte and a block at a time,
// libpng every chunk in three reads): one read of the file per 16 KiB
// instead of one per request. A memory source is copied from directly.
class BufferedCursor {
public:
  explicit BufferedCursor(const file::ByteSource &source) : source_(source) {}
  size_t read(void *dest, size_t n);
  // Bytes handed out so far: the position of the next one.
  uint64_t position() const { return at_; }
  // The next byte handed out is the one at `at`.
  void seek(uint64_t at) { at_ = at; }
  // Bytes the source holds.
  uint64_t size() const { return source_.size(); }

private:
  static constexpr size_t kAhead = 16384;
  const file::ByteSource &source_;
  uint64_t at_ = 0;                // position of the next byte handed out
  std::vector<uint8_t> buffer_;    // the bytes from buffer_at_ on
  uint64_t buffer_at_ = 0;
};

// Readers over the libraries, each reading the source through a cursor of
// its own (the source is open; the caller checked).
int32_t read_png(const file::ByteSource &source, Picture &picture, bool header_only);
int32_t read_jpeg(const file::ByteSource &source, Picture &picture, bool header_only);
int32_t read_tiff(const file::ByteSource &source, Picture &picture, bool header_only);
int32_t read_gif(const file::ByteSource &source, Picture &picture, bool header_only);

// Any format's reader over an open source, as StillInfo and StillLoad use
// it. A refusal records its reason only when it has one of its own; the
// public calls add the general one for the result code.
int32_t read_picture(Format f, const file::ByteSource &source, Picture &picture, bool header_only);

// Writers of an 8-bit or 24-bit descriptor.
int32_t encode_bmp(const Image &im, int32_t option, std::vector<uint8_t> &out);
int32_t encode_pcx(const Image &im, std::vector<uint8_t> &out);
int32_t encode_tga(const Image &im, int32_t option, std::vector<uint8_t> &out);
// option: deflate level 1 (fastest) to 12 (smallest); anything else the default.
int32_t encode_png(const Image &im, int32_t option, std::vector<uint8_t> &out);
int32_t write_jpeg(const char *name, const Image &im, int32_t quality);
int32_t write_tiff(const char *name, const Image &im, int32_t compression);
int32_t write_gif(const char *name, const Image &im);

// Places a decoded picture into a descriptor (the load's second half).
int32_t store_picture(const Picture &picture, Image &im);

} // namespace vex::stills

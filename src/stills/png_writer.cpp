// PNG writing: rows predicted by png_row_filter, the stream deflated in one
// call by libdeflate (whole-buffer compression, several times the speed of
// zlib's streaming deflate at equal or smaller sizes on filtered pictures),
// and the chunks laid out here:
//   signature, IHDR, [PLTE of 256 entries], one IDAT, IEND
// each chunk being a 32-bit big-endian length, the 4-letter type, the data
// and a CRC-32 of type and data.
#include <libdeflate.h>

#include <cstring>
#include <memory>

#include "stills/png_row_filter.h"
#include "stills/still_codec.h"

namespace vex::stills {

namespace {

// Level 1 of libdeflate: on filtered camera pictures as small as zlib's
// default level 6 at about a fifth of its time; higher levels gain 1-5 %.
constexpr int32_t kDefaultLevel = 1;
constexpr int32_t kMaxLevel = 12;

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct CompressorFree {
  void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};

void put_be32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Appends a chunk whose data is already in place: `out` holds, from
// `start`, 4 bytes for the length, the type and `length` bytes of data.
void close_chunk(std::vector<uint8_t> &out, size_t start, uint32_t length) {
  put_be32(out.data() + start, length);
  const uint32_t crc = libdeflate_crc32(0, out.data() + start + 4, length + 4);
  out.resize(start + 8 + length + 4);
  put_be32(out.data() + start + 8 + length, crc);
}

void add_chunk(std::vector<uint8_t> &out, const char type[4], const uint8_t *data, uint32_t length) {
  const size_t start = out.size();
  out.resize(start + 8 + length);
  std::memcpy(out.data() + start + 4, type, 4);
  if (length)
    std::memcpy(out.data() + start + 8, data, length);
  close_chunk(out, start, length);
}

void add_header(std::vector<uint8_t> &out, const Image &im, bool mapped) {
  uint8_t ihdr[13] = {};
  put_be32(ihdr, static_cast<uint32_t>(im.width));
  put_be32(ihdr + 4, static_cast<uint32_t>(im.height));
  ihdr[8] = 8;                // bits per sample
  ihdr[9] = mapped ? 3 : 2;   // colour type: palette or RGB
  // compression 0 (deflate), filter method 0, no interlace
  add_chunk(out, "IHDR", ihdr, sizeof ihdr);
  if (!mapped)
    return;
  uint8_t plte[768];
  for (int i = 0; i < 256; ++i) {
    plte[i * 3] = im.colors[i * 4 + 2];
    plte[i * 3 + 1] = im.colors[i * 4 + 1];
    plte[i * 3 + 2] = im.colors[i * 4];
  }
  add_chunk(out, "PLTE", plte, sizeof plte);
}

// The rows as the PNG stream wants them, top first, each led by its filter
// byte. Colour rows (blue, green, red in the image) become red, green,
// blue and are predicted row by row with the filter that suits them;
// index rows are stored as they are (neighbouring indices need not be
// neighbouring colours, so they do not predict).
// Every byte is written before it is read, so the buffer starts
// uninitialised (a frame's worth of zeros less to write).
std::unique_ptr<uint8_t[]> filtered_rows(const Image &im, bool mapped, size_t &bytes) {
  const size_t pixel = mapped ? 1 : 3;
  const size_t row_bytes = static_cast<size_t>(im.width) * pixel;
  bytes = (row_bytes + 1) * static_cast<size_t>(im.height);
  auto stream = std::make_unique_for_overwrite<uint8_t[]>(bytes);
  png::RowFilter rows(row_bytes, pixel);
  std::vector<uint8_t> rgb[2] = {std::vector<uint8_t>(row_bytes), std::vector<uint8_t>(row_bytes)};
  for (int32_t y = 0; y < im.height; ++y) {
    const uint8_t *src = top_row(im, y);
    uint8_t *out = stream.get() + static_cast<size_t>(y) * (row_bytes + 1);
    if (mapped) {
      rows.filter({src, row_bytes}, {}, false, png::Filter::none, out);
      continue;
    }
    std::vector<uint8_t> &cur = rgb[y & 1];
    png::bgr_to_rgb(src, cur.data(), static_cast<size_t>(im.width));
    const std::span<const uint8_t> above = y ? std::span<const uint8_t>(rgb[(y + 1) & 1]) : std::span<const uint8_t>();
    rows.filter(cur, above, true, png::Filter::none, out);
  }
  return stream;
}

} // namespace

int32_t encode_png(const Image &im, int32_t option, std::vector<uint8_t> &out) {
  const bool mapped = im.bits == 8;
  const int32_t level = option >= 1 && option <= kMaxLevel ? option : kDefaultLevel;
  std::unique_ptr<libdeflate_compressor, CompressorFree> z(libdeflate_alloc_compressor(level));
  if (!z)
    return kNoMemory;
  size_t bytes = 0;
  const std::unique_ptr<uint8_t[]> stream = filtered_rows(im, mapped, bytes);
  const size_t bound = libdeflate_zlib_compress_bound(z.get(), bytes);
  const auto packed = std::make_unique_for_overwrite<uint8_t[]>(bound);
  const size_t size = libdeflate_zlib_compress(z.get(), stream.get(), bytes, packed.get(), bound);
  if (size == 0 || size > 0x7FFFFFFF)
    return kWriteError;
  out.clear();
  out.reserve(sizeof kSignature + 25 + 780 + 12 + size + 12);
  out.assign(kSignature, kSignature + sizeof kSignature);
  add_header(out, im, mapped);
  add_chunk(out, "IDAT", packed.get(), static_cast<uint32_t>(size));
  add_chunk(out, "IEND", nullptr, 0);
  return 0;
}

} // namespace vex::stills

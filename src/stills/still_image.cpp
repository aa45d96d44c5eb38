// The still-image calls: dispatch by format, the descriptor's allocation,
// and the placing of decoded pictures into it.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "file/byte_source.h"
#include "file/os_file.h"
#include "stills/still_codec.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace vex::stills {

void Picture::grey_table(int levels) {
  for (int i = 0; i < levels && i < 256; ++i) {
    const auto v = static_cast<uint8_t>(levels > 1 ? i * 255 / (levels - 1) : 0);
    table[static_cast<size_t>(i)] = {v, v, v, 0};
  }
}

bool write_file(const char *name, std::span<const uint8_t> bytes) {
  const int fd = name ? file::open_file(name, file::Access::create) : -1;
  const bool ok = fd >= 0 && file::write_at(fd, 0, bytes.data(), bytes.size()) == bytes.size();
  const int err = errno;
  if (fd >= 0)
    file::close_file(fd);
  if (!ok)
    util::fail(util::Status::kWriteFailed, "%s", err != 0 ? util::system_text(err).c_str() : "the file could not be written");
  return ok;
}

int32_t not_this_format(const char *format, ...) {
  va_list args;
  va_start(args, format);
  util::vfail(util::Status::kNotThisFormat, format, args);
  va_end(args);
  return kBadFile;
}

int32_t damaged(const char *format, ...) {
  va_list args;
  va_start(args, format);
  util::vfail(util::Status::kDamaged, format, args);
  va_end(args);
  return kBadFile;
}

bool data_can_fill(const char *format, int64_t width, int64_t height, uint64_t need, uint64_t ratio,
                   uint64_t have) {
  const uint64_t least = ratio ? need / ratio + (need % ratio != 0) : need;
  if (have >= least)
    return true;
  damaged("a %s picture of %lld x %lld pixels needs at least %llu bytes of data, the file holds %llu", format,
          static_cast<long long>(width), static_cast<long long>(height), static_cast<unsigned long long>(least),
          static_cast<unsigned long long>(have));
  return false;
}

void colour_at(const Image &im, const uint8_t *row, int32_t x, uint8_t bgr[3]) {
  if (im.bits == 8) {
    std::memcpy(bgr, im.colors + row[x] * 4, 3);
  } else {
    std::memcpy(bgr, row + x * 3, 3);
  }
}

namespace {

bool valid_bits(int32_t bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

int32_t pitch_for(int32_t width, int32_t bits) { return ((width * bits / 8) + 3) & ~3; }

// Bytes a row of `width` pixels really needs.
int64_t row_bytes(int32_t width, int32_t bits) { return (int64_t{width} * bits + 7) / 8; }

void put_index(uint8_t *row, int32_t x, int32_t bits, uint8_t value) {
  if (bits == 8) {
    row[x] = value;
    return;
  }
  const int32_t bit = x * bits;
  const auto mask = static_cast<uint8_t>((1u << bits) - 1);
  row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~(mask << (bit % 8))) | (value & mask) << (bit % 8));
}

void put_colour(uint8_t *row, int32_t x, int32_t bits, const uint8_t *bgra) {
  switch (bits) {
  case 16: {
    const auto v = static_cast<uint16_t>((bgra[2] >> 3) << 10 | (bgra[1] >> 3) << 5 | bgra[0] >> 3);
    util::put_le16(row + x * 2, v);
    break;
  }
  case 24:
    std::memcpy(row + x * 3, bgra, 3);
    break;
  default:
    std::memcpy(row + x * 4, bgra, 4);
    break;
  }
}

using Decoder = int32_t (*)(std::span<const uint8_t>, uint64_t, Picture &, bool);

// BMP, PCX and TGA: a memory source is decoded where it lies. From a file,
// a header takes one read of its first kHeadBytes, which is all a header
// needs (a still's information is asked of every candidate input, movies
// included), and a picture one read of the whole data, whose size is
// checked first.
int32_t from_bytes(Decoder decode, const file::ByteSource &source, Picture &p, bool header_only) {
  if (source.in_memory())
    return decode(source.memory(), source.size(), p, header_only);
  const uint64_t want = header_only ? std::min<uint64_t>(source.size(), kHeadBytes) : source.size();
  if (want > kMaxFileBytes) {
    util::fail(util::Status::kTooLarge, "a file of %llu bytes is larger than any picture",
               static_cast<unsigned long long>(want));
    return kNoFile;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(want));
  if (!source.read_exact(0, bytes.data(), bytes.size()))
    return kNoFile; // refused by the system, or the file shrank since it was opened
  return decode(bytes, source.size(), p, header_only);
}

const char *format_name(Format f) {
  constexpr const char *kNames[] = {"BMP", "PCX", "PNG", "TGA", "TIF", "GIF", "JPEG"};
  const auto i = static_cast<size_t>(f);
  return i < std::size(kNames) ? kNames[i] : "still";
}

// Records the reason behind a result code of a read (0 forgets the last).
// A step that said more precisely what went wrong (the read's cause, the
// decoder's "what and where") keeps its own reason.
int32_t record(int32_t code, Format f) {
  using util::Status;
  if (code != 0 && util::last_status() != Status::kOk)
    return code;
  switch (code) {
  case 0:
    util::clear_reason();
    break;
  case kNoFile: // the source is open: its data could not be read
    util::fail(Status::kReadFailed);
    break;
  case kBadFile:
    util::fail(Status::kNotThisFormat, "not a %s file, or a damaged one", format_name(f));
    break;
  case kUnsupported:
    util::fail(Status::kUnsupported, "a kind of %s file that is not supported", format_name(f));
    break;
  case kNoMemory:
    util::fail(Status::kOutOfMemory);
    break;
  case kBadImage:
    util::fail(Status::kInvalidArgument, "the image does not fit the call");
    break;
  default:
    util::fail(Status::kWriteFailed);
    break;
  }
  return code;
}

template <int32_t (*Encode)(const Image &, int32_t, std::vector<uint8_t> &)>
int32_t to_bytes(const char *name, const Image &im, int32_t option) {
  std::vector<uint8_t> out;
  if (const int32_t r = Encode(im, option, out))
    return r;
  return write_file(name, out) ? 0 : kWriteError;
}

int32_t pcx_with_option(const Image &im, int32_t, std::vector<uint8_t> &out) { return encode_pcx(im, out); }
int32_t gif_with_option(const char *name, const Image &im, int32_t) { return write_gif(name, im); }

} // namespace

int32_t store_picture(const Picture &p, Image &im) {
  const int32_t w = p.info.width, h = p.info.height;
  if (!im.pixels || w > im.width || h > im.height || row_bytes(w, im.bits) > im.pitch)
    return kBadImage;
  if (!p.indexed && im.bits <= 8)
    return kBadImage; // colours cannot become indices without a palette
  if (p.indexed && (im.bits <= 8) && im.colors) {
    for (size_t i = 0; i < 256; ++i)
      std::memcpy(im.colors + i * 4, p.table[i].data(), 4);
    im.colors_used = 256;
  }
  // Bottom-up: picture row y goes to memory row height - 1 - y of the
  // image; an image taller than the picture keeps its extra rows on top.
  for (int32_t y = 0; y < h; ++y) {
    uint8_t *row = im.pixels + static_cast<ptrdiff_t>(h - 1 - y) * im.pitch;
    for (int32_t x = 0; x < w; ++x) {
      const size_t at = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
      if (p.indexed) {
        const uint8_t i = p.index[at];
        if (im.bits <= 8)
          put_index(row, x, im.bits, i);
        else {
          uint8_t c[4] = {p.table[i][0], p.table[i][1], p.table[i][2], 255};
          put_colour(row, x, im.bits, c);
        }
      } else {
        put_colour(row, x, im.bits, &p.bgra[at * 4]);
      }
    }
  }
  return 0;
}

int32_t read_picture(Format f, const file::ByteSource &source, Picture &p, bool header_only) {
  switch (f) {
  case Format::bmp:
    return from_bytes(decode_bmp, source, p, header_only);
  case Format::pcx:
    return from_bytes(decode_pcx, source, p, header_only);
  case Format::tga:
    return from_bytes(decode_tga, source, p, header_only);
  case Format::png:
    return read_png(source, p, header_only);
  case Format::jpeg:
    return read_jpeg(source, p, header_only);
  case Format::tif:
    return read_tiff(source, p, header_only);
  case Format::gif:
    return read_gif(source, p, header_only);
  }
  return kUnsupported;
}

namespace {

// A source whose open failed has its reason already; one never opened
// gets one.
int32_t not_open() {
  if (util::last_status() == util::Status::kOk)
    util::fail(util::Status::kInvalidArgument, "the source is not open");
  return kNoFile;
}

} // namespace

int32_t StillInfo(Format f, const file::ByteSource &source, Info *info) {
  if (!info)
    return kBadImage;
  *info = Info{};
  if (!source.is_open())
    return not_open();
  Picture p;
  util::clear_reason();
  const int32_t r = read_picture(f, source, p, true);
  *info = p.info;
  info->stored_bits = p.info.bits;
  if (info->bits == 1 || info->bits == 2)
    info->bits = 8;
  if (r == 0 && !size_ok(info->width, info->height))
    return record(kBadFile, f);
  return record(r, f);
}

int32_t StillAlloc(Image *im, int32_t width, int32_t height, int32_t bits) {
  if (!im)
    return kBadImage;
  std::memset(im, 0, sizeof *im);
  if (!valid_bits(bits) || !size_ok(width, height))
    return kBadImage;
  const int32_t pitch = pitch_for(width, bits);
  const int64_t size = int64_t{pitch} * height;
  if (size <= 0 || size >= 0xFFFFFF00)
    return kNoMemory;
  im->pixels = static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(size)));
  im->colors = static_cast<uint8_t *>(vexmalloc(256 * 4));
  if (!im->pixels || !im->colors) {
    StillFree(im);
    return kNoMemory;
  }
  std::memset(im->pixels, 0, static_cast<size_t>(size));
  std::memset(im->colors, 0, 256 * 4);
  im->width = width;
  im->height = height;
  im->bits = bits;
  im->pitch = pitch;
  im->size = static_cast<uint32_t>(size);
  return 0;
}

void StillFree(Image *im) {
  if (!im)
    return;
  vexfree(im->pixels);
  vexfree(im->colors);
  std::memset(im, 0, sizeof *im);
}

int32_t StillLoad(Format f, const file::ByteSource &source, Image *im) {
  if (!im || !im->pixels)
    return kBadImage;
  if (!source.is_open())
    return not_open();
  Picture p;
  util::clear_reason();
  if (const int32_t r = read_picture(f, source, p, false))
    return record(r, f);
  return record(store_picture(p, *im), f);
}

int32_t StillSave(Format f, const char *name, const Image *im, int32_t option) {
  if (!im || !im->pixels || !name || (im->bits != 8 && im->bits != 24) || !size_ok(im->width, im->height) ||
      im->pitch < im->width * im->bits / 8 || (im->bits == 8 && !im->colors))
    return kBadImage;
  switch (f) {
  case Format::bmp:
    return to_bytes<encode_bmp>(name, *im, option);
  case Format::pcx:
    return to_bytes<pcx_with_option>(name, *im, option);
  case Format::tga:
    return to_bytes<encode_tga>(name, *im, option);
  case Format::png:
    return to_bytes<encode_png>(name, *im, option);
  case Format::jpeg:
    return write_jpeg(name, *im, option);
  case Format::tif:
    return write_tiff(name, *im, option);
  case Format::gif:
    return gif_with_option(name, *im, option);
  }
  return kUnsupported;
}

size_t BufferedCursor::read(void *dest, size_t n) {
  auto *out = static_cast<uint8_t *>(dest);
  size_t done = 0;
  if (source_.in_memory() || n >= kAhead) { // nothing to gain from a copy of our own
    done = source_.read_at(at_, out, n);
    at_ += done;
    return done;
  }
  while (done < n) {
    if (at_ < buffer_at_ || at_ >= buffer_at_ + buffer_.size()) {
      buffer_.resize(kAhead);
      buffer_.resize(source_.read_at(at_, buffer_.data(), kAhead));
      buffer_at_ = at_;
      if (buffer_.empty())
        break; // the end of the data
    }
    const size_t from = static_cast<size_t>(at_ - buffer_at_);
    const size_t take = std::min(n - done, buffer_.size() - from);
    std::memcpy(out + done, buffer_.data() + from, take);
    done += take;
    at_ += take;
  }
  return done;
}

} // namespace vex::stills

// PNG reading over libpng (png_writer.cpp writes). Palette and grey pictures of up to 8 bits stay indexed
// (grey through a grey table); everything else becomes 32-bit colour.
// libpng reports errors by longjmp back into these functions and warnings
// are dropped, so no input can end the process or print.
#include <csetjmp>
#include <cstring>

#include <png.h>

#include "stills/still_codec.h"

namespace vex::stills {

namespace {

// The signature was checked first: every error is damage, with libpng's text.
void on_error(png_structp png, png_const_charp text) {
  damaged("PNG: %s", text);
  png_longjmp(png, 1);
}
void on_warning(png_structp, png_const_charp) {}

// libpng asks for exactly n bytes; fewer is an error, which jumps back.
void read_source(png_structp png, png_bytep out, size_t n) {
  if (static_cast<BufferedCursor *>(png_get_io_ptr(png))->read(out, n) != n)
    png_error(png, "the data ends early");
}

struct Reader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<png_bytep> rows; // outlives the jump target
  ~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

int32_t bits_of(int colour_type, int depth) {
  switch (colour_type) {
  case PNG_COLOR_TYPE_PALETTE:
    return depth;
  case PNG_COLOR_TYPE_GRAY:
    return depth > 8 ? 8 : depth;
  case PNG_COLOR_TYPE_RGB:
    return 24;
  default:
    return 32; // with alpha
  }
}

// Everything after png_read_info; kept apart from the setjmp frame so
// that no local with a destructor lives across the jump.
void decode_rows(Reader &r, Picture &p, int colour_type, int depth) {
  png_structp png = r.png;
  png_infop info = r.info;
  const auto w = static_cast<int32_t>(png_get_image_width(png, info));
  const auto h = static_cast<int32_t>(png_get_image_height(png, info));
  const bool indexed = colour_type == PNG_COLOR_TYPE_PALETTE || colour_type == PNG_COLOR_TYPE_GRAY;
  if (depth == 16)
    png_set_strip_16(png);
  if (indexed) {
    if (depth < 8)
      png_set_packing(png); // one index per byte
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
      png_colorp palette = nullptr;
      int n = 0;
      if (png_get_PLTE(png, info, &palette, &n) & PNG_INFO_PLTE)
        for (int i = 0; i < n && i < 256; ++i)
          p.table[static_cast<size_t>(i)] = {palette[i].blue, palette[i].green, palette[i].red, 0};
    } else {
      p.grey_table(depth < 8 ? 1 << depth : 256);
    }
    p.start_indexed(w, h);
  } else {
    if (colour_type == PNG_COLOR_TYPE_GRAY_ALPHA)
      png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER); // RGB gains an opaque alpha
    p.start_colour(w, h);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t stride = indexed ? static_cast<size_t>(w) : static_cast<size_t>(w) * 4;
  if (png_get_rowbytes(png, info) != stride)
    png_error(png, "row layout");
  r.rows.resize(static_cast<size_t>(h));
  uint8_t *base = indexed ? p.index.data() : p.bgra.data();
  for (int32_t y = 0; y < h; ++y)
    r.rows[static_cast<size_t>(y)] = base + static_cast<size_t>(y) * stride;
  png_read_image(png, r.rows.data());
}

int32_t read_into(BufferedCursor &in, Reader &r, Picture &p, bool header_only) {
  if (setjmp(png_jmpbuf(r.png)))
    return kBadFile;
  png_set_read_fn(r.png, &in, read_source);
  png_set_user_limits(r.png, util::kMaxSide, util::kMaxSide);
  // The library holds a text, profile or unknown chunk whole before it
  // looks at it, so its length field alone (up to 2 GiB) would pay for the
  // buffer. None of them is used here: they are passed over unread.
  static constexpr png_byte kUnused[] = {'t', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0, 'i', 'T', 'X', 't', 0,
                                         'i', 'C', 'C', 'P', 0, 's', 'P', 'L', 'T', 0, 'e', 'X', 'I', 'f', 0};
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, kUnused, 6);
  png_read_info(r.png, r.info);
  const int colour_type = png_get_color_type(r.png, r.info);
  const int depth = png_get_bit_depth(r.png, r.info);
  p.info = {static_cast<int32_t>(png_get_image_width(r.png, r.info)),
            static_cast<int32_t>(png_get_image_height(r.png, r.info)), bits_of(colour_type, depth), 0};
  if (!size_ok(p.info.width, p.info.height))
    return damaged("the picture is %d x %d pixels", p.info.width, p.info.height);
  // The filtered rows (a filter byte and the packed samples each) come out
  // of deflate, which gives at most kDeflateRatio bytes for one.
  const uint64_t rows = uint64_t(p.info.height) * (1 + png_get_rowbytes(r.png, r.info));
  if (!data_can_fill("PNG", p.info.width, p.info.height, rows, kDeflateRatio, in.size()))
    return kBadFile;
  if (header_only)
    return 0;
  decode_rows(r, p, colour_type, depth);
  return 0;
}

} // namespace

int32_t read_png(const file::ByteSource &source, Picture &p, bool header_only) {
  BufferedCursor in{source};
  uint8_t sig[8];
  if (in.read(sig, 8) != 8 || png_sig_cmp(sig, 0, 8) != 0)
    return kBadFile;
  Reader r;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!r.png || !(r.info = png_create_info_struct(r.png)))
    return kNoMemory;
  png_set_sig_bytes(r.png, 8);
  return read_into(in, r, p, header_only);
}

} // namespace vex::stills

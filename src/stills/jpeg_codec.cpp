// JPEG over libjpeg-turbo: grey pictures as 8-bit indices with a grey
// table, colour pictures as 32-bit colour; written as baseline colour
// JPEG. The library's error_exit jumps back here and its messages are
// dropped, so no input can end the process or print.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

#include "stills/still_codec.h"

namespace vex::stills {

namespace {

struct ErrorJump {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

// libjpeg's text becomes the reason: damage, unless the data does not
// start as a JPEG at all.
void on_error(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX] = {};
  (*cinfo->err->format_message)(cinfo, text);
  if (cinfo->err->msg_code == JERR_NO_SOI)
    not_this_format("JPEG: %s", text);
  else
    damaged("JPEG: %s", text);
  std::longjmp(reinterpret_cast<ErrorJump *>(cinfo->err)->jump, 1);
}
void on_message(j_common_ptr) {}
// Warnings are silent, except that data ending early is an error: the
// library would fill the rest of the picture with grey.
void on_emit(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
    on_error(cinfo);
}

// libjpeg's source manager over a byte source. A memory source is handed
// over whole where it lies; a file is read kChunk bytes at a time, so a
// header costs a read or two. As the library's own file source does, data
// that ends is followed by an end-of-picture marker and a warning, which
// on_emit turns into an error; no data at all is an error at once.
struct Input {
  static constexpr size_t kChunk = 8192;
  jpeg_source_mgr mgr{};
  Cursor in;
  bool started = false; // some data was handed over
  std::vector<JOCTET> chunk;
  explicit Input(const file::ByteSource &source) : in{source} {}
};

Input &input_of(j_decompress_ptr cinfo) { return *static_cast<Input *>(cinfo->client_data); }

void init_source(j_decompress_ptr) {}
void term_source(j_decompress_ptr) {}

boolean fill_input(j_decompress_ptr cinfo) {
  static constexpr JOCTET kEnd[2] = {0xFF, JPEG_EOI};
  Input &s = input_of(cinfo);
  const file::ByteSource &source = s.in.source;
  const JOCTET *next = nullptr;
  size_t got = 0;
  if (source.in_memory()) {
    if (s.in.at < source.size()) {
      next = source.memory().data() + s.in.at;
      got = static_cast<size_t>(source.size() - s.in.at);
      s.in.at = source.size();
    }
  } else {
    s.chunk.resize(Input::kChunk);
    got = s.in.read(s.chunk.data(), s.chunk.size());
    next = s.chunk.data();
  }
  if (got == 0) {
    if (!s.started)
      ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    next = kEnd;
    got = sizeof kEnd;
  }
  s.started = true;
  s.mgr.next_input_byte = next;
  s.mgr.bytes_in_buffer = got;
  return TRUE;
}

// Markers the library does not keep are skipped without being read.
void skip_input(j_decompress_ptr cinfo, long n) {
  if (n <= 0)
    return;
  Input &s = input_of(cinfo);
  const auto count = static_cast<uint64_t>(n);
  if (count <= s.mgr.bytes_in_buffer) {
    s.mgr.next_input_byte += count;
    s.mgr.bytes_in_buffer -= static_cast<size_t>(count);
    return;
  }
  const uint64_t beyond = count - s.mgr.bytes_in_buffer;
  s.mgr.bytes_in_buffer = 0; // the next read asks fill_input
  s.in.at += std::min(beyond, s.in.source.size() - std::min(s.in.at, s.in.source.size()));
}

struct Decompress {
  jpeg_decompress_struct cinfo{};
  ErrorJump err{};
  Input input;
  std::vector<uint8_t> row; // outlives the jump target
  explicit Decompress(const file::ByteSource &source) : input(source) {}
  ~Decompress() { jpeg_destroy_decompress(&cinfo); }
};

// libjpeg's destination manager into a vector of ours, grown 64 KiB at a
// time; the file is written from it in one go.
struct Output {
  static constexpr size_t kStep = 65536;
  jpeg_destination_mgr mgr{};
  std::vector<uint8_t> bytes;
  size_t used() const { return bytes.size() - mgr.free_in_buffer; }
};

Output &output_of(j_compress_ptr cinfo) { return *static_cast<Output *>(cinfo->client_data); }

void init_destination(j_compress_ptr cinfo) {
  Output &o = output_of(cinfo);
  o.bytes.resize(Output::kStep);
  o.mgr.next_output_byte = o.bytes.data();
  o.mgr.free_in_buffer = o.bytes.size();
}

boolean empty_output_buffer(j_compress_ptr cinfo) { // the whole buffer is full
  Output &o = output_of(cinfo);
  const size_t full = o.bytes.size();
  o.bytes.resize(full + Output::kStep);
  o.mgr.next_output_byte = o.bytes.data() + full;
  o.mgr.free_in_buffer = Output::kStep;
  return TRUE;
}

void term_destination(j_compress_ptr cinfo) {
  Output &o = output_of(cinfo);
  o.bytes.resize(o.used());
}

struct Compress {
  jpeg_compress_struct cinfo{};
  ErrorJump err{};
  Output output;
  std::vector<uint8_t> row;
  ~Compress() { jpeg_destroy_compress(&cinfo); }
};

int32_t decode(Decompress &d, Picture &p, bool header_only) {
  if (setjmp(d.err.jump))
    return kBadFile;
  jpeg_create_decompress(&d.cinfo);
  d.cinfo.client_data = &d.input;
  d.input.mgr.init_source = init_source;
  d.input.mgr.fill_input_buffer = fill_input;
  d.input.mgr.skip_input_data = skip_input;
  d.input.mgr.resync_to_restart = jpeg_resync_to_restart;
  d.input.mgr.term_source = term_source;
  d.cinfo.src = &d.input.mgr;
  jpeg_read_header(&d.cinfo, TRUE);
  const bool grey = d.cinfo.jpeg_color_space == JCS_GRAYSCALE;
  p.info = {static_cast<int32_t>(d.cinfo.image_width), static_cast<int32_t>(d.cinfo.image_height),
            8 * d.cinfo.num_components, 0};
  if (!size_ok(p.info.width, p.info.height))
    return damaged("the picture is %d x %d pixels", p.info.width, p.info.height);
  if (!grey && d.cinfo.num_components != 3)
    return kUnsupported; // CMYK and the like
  // Arithmetic coding can spend less than a bit on a block: no bound there.
  const uint64_t blocks = (uint64_t(p.info.width) + 7) / 8 * ((uint64_t(p.info.height) + 7) / 8);
  if (!d.cinfo.arith_code && !data_can_fill("JPEG", p.info.width, p.info.height, blocks, kJpegBlocksPerByte,
                                            d.input.in.source.size()))
    return kBadFile;
  if (header_only)
    return 0;
  d.cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGRA;
  jpeg_start_decompress(&d.cinfo);
  const int32_t w = p.info.width, h = p.info.height;
  if (grey) {
    p.start_indexed(w, h);
    p.grey_table(256);
  } else {
    p.start_colour(w, h);
  }
  uint8_t *base = grey ? p.index.data() : p.bgra.data();
  const size_t stride = static_cast<size_t>(w) * (grey ? 1 : 4);
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    JSAMPROW row = base + static_cast<size_t>(d.cinfo.output_scanline) * stride;
    jpeg_read_scanlines(&d.cinfo, &row, 1);
  }
  if (!grey)
    for (size_t i = 3; i < p.bgra.size(); i += 4)
      p.bgra[i] = 255;
  jpeg_finish_decompress(&d.cinfo);
  return 0;
}

int32_t encode(Compress &c, const Image &im, int32_t quality) {
  if (setjmp(c.err.jump))
    return kWriteError;
  jpeg_create_compress(&c.cinfo);
  c.cinfo.client_data = &c.output;
  c.output.mgr.init_destination = init_destination;
  c.output.mgr.empty_output_buffer = empty_output_buffer;
  c.output.mgr.term_destination = term_destination;
  c.cinfo.dest = &c.output.mgr;
  c.cinfo.image_width = static_cast<JDIMENSION>(im.width);
  c.cinfo.image_height = static_cast<JDIMENSION>(im.height);
  c.cinfo.input_components = 3;
  c.cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c.cinfo);
  const int q = quality < 1 ? 75 : quality > 100 ? 100 : quality;
  jpeg_set_quality(&c.cinfo, q, TRUE);
  if (q >= 90) // high quality keeps the full colour resolution too
    for (int i = 0; i < c.cinfo.num_components; ++i)
      c.cinfo.comp_info[i].h_samp_factor = c.cinfo.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c.cinfo, TRUE);
  c.row.resize(static_cast<size_t>(im.width) * 3);
  for (int32_t y = 0; y < im.height; ++y) {
    const uint8_t *src = top_row(im, y);
    // 8-bit pictures go out as the colours their indices name.
    for (int32_t x = 0; x < im.width; ++x)
      colour_at(im, src, x, &c.row[static_cast<size_t>(x) * 3]);
    JSAMPROW row = c.row.data();
    jpeg_write_scanlines(&c.cinfo, &row, 1);
  }
  jpeg_finish_compress(&c.cinfo);
  return 0;
}

} // namespace

int32_t read_jpeg(const file::ByteSource &source, Picture &p, bool header_only) {
  Decompress d(source);
  d.cinfo.err = jpeg_std_error(&d.err.mgr);
  d.err.mgr.error_exit = on_error;
  d.err.mgr.output_message = on_message;
  d.err.mgr.emit_message = on_emit;
  return decode(d, p, header_only);
}

// Encoded in memory, then written through the file layer in one go.
int32_t write_jpeg(const char *name, const Image &im, int32_t quality) {
  Compress c;
  c.cinfo.err = jpeg_std_error(&c.err.mgr);
  c.err.mgr.error_exit = on_error;
  c.err.mgr.output_message = on_message;
  if (const int32_t r = encode(c, im, quality))
    return r;
  return write_file(name, c.output.bytes) ? 0 : kWriteError;
}

} // namespace vex::stills

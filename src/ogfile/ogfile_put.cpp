// OGFilePut: one frame into the FLIC writer, the AVI video stream or the
// next still image of the series.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "movie/avi_writer.h"
#include "ogfile/frame_copy.h"
#include "ogfile/ogfile_state.h"
#include "ogfile/still_descriptor.h"
#include "file/temporary_name.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace vex::ogfile {

namespace {

FrameRows rows_of(const OGFILE *o, const uint8_t *pixels) {
  return {pixels, o->width, o->height, o->source_pitch, o->true_colour != 0, o->state->palette.data()};
}

stills::Format still_format(int32_t kind) {
  switch (kind) {
  case OGFILE_BMP: return stills::Format::bmp;
  case OGFILE_JPEG: return stills::Format::jpeg;
  case OGFILE_TGA: return stills::Format::tga;
  case OGFILE_TIF: return stills::Format::tif;
  case OGFILE_PCX: return stills::Format::pcx;
  case OGFILE_GIF: return stills::Format::gif;
  default: return stills::Format::png;
  }
}

// The save option of each kind: BMP plain rows, JPEG quality 100, TGA
// run-length, TIF uncompressed, PNG the library's default level.
int32_t still_option(int32_t kind) {
  switch (kind) {
  case OGFILE_JPEG: return 100;
  case OGFILE_TGA:
  case OGFILE_TIF: return 1;
  default: return 0;
  }
}

std::string file_part(const std::string &name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

void put_still(OGFILE *o, const uint8_t *pixels) {
  OGFILESTATE &s = *o->state;
  const std::string name = s.series.file(o->next_frame++);
  copy_frame(rows_of(o, pixels), {o->image_last_row, o->image_pitch, o->depth});
  if (o->depth == 8 && !o->true_colour) {
    palette_to_table(s.palette.data(), o->image.colors);
    o->image.colors_used = 256;
  }
  o->image.flags = 0;
  const std::string temporary = file::reserve_temporary(name);
  const stills::Image im = to_still(o->image);
  if (temporary.empty() ||
      stills::StillSave(still_format(o->kind), temporary.c_str(), &im, still_option(o->kind)) != 0) {
    file::remove_file(temporary);
    o->error = 1;
    return;
  }
  s.stills.push_back({temporary, name});
  o->bytes_written += vexfilesize(temporary.c_str());
  const std::string part = file_part(name);
  if (s.stills.size() == 1) {
    std::snprintf(o->first_still, sizeof o->first_still, "%s", part.c_str());
    std::snprintf(o->display_name, sizeof o->display_name, "%s", part.c_str());
  } else {
    std::snprintf(o->display_name, sizeof o->display_name, "%s to %s", o->first_still, part.c_str());
  }
}

void put_flic(OGFILE *o, const uint8_t *pixels, const uint8_t *palette) {
  VEXOFLIC *f = o->flic;
  std::vector<uint8_t> &frame = o->state->flic_frame;
  for (int32_t y = 0; y < o->height; ++y)
    std::memcpy(frame.data() + static_cast<size_t>(y) * f->width,
                pixels + static_cast<ptrdiff_t>(y) * o->source_pitch, static_cast<size_t>(o->width));
  ++o->next_frame;
  if (VEXOFlicPutNext(f, frame.data(), palette) != 1 || f->error)
    o->error = 1;
  o->bytes_written = VEXFileSize(f->file);
}

void put_avi(OGFILE *o, const uint8_t *pixels) {
  auto *video = static_cast<movie::OutStream *>(o->avi_video);
  const auto *h = reinterpret_cast<const movie::BitmapHeader *>(o->avi_bitmap);
  copy_frame(rows_of(o, pixels), {o->avi_last_row, o->avi_pitch, o->depth});
  const int32_t frame = o->next_frame;
  if (o->avi_colors) {
    palette_to_table(o->state->palette.data(), o->avi_colors);
    if (movie::StreamSetFormat(video, frame, o->avi_bitmap, static_cast<int32_t>(sizeof *h + 1024)) != movie::kOk) {
      o->error = 1;
      return;
    }
  }
  const uint8_t *rows = o->avi_bitmap + sizeof *h + (o->avi_colors ? 1024 : 0);
  int32_t bytes = 0;
  ++o->next_frame;
  if (movie::StreamWrite(video, frame, 1, rows, static_cast<int32_t>(h->size_image), movie::kKeyFrame, nullptr,
                         &bytes) != movie::kOk) {
    o->error = 1;
    return;
  }
  o->bytes_written += static_cast<uint32_t>(bytes);
}

} // namespace

// The errors a write to a file can end in name themselves; anything else
// in errno may be left over from a call that went well.
std::string write_failure_text(int err) {
  switch (err) {
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
  case EIO:
    return util::system_text(err);
  default:
    return "the file could not be written";
  }
}

} // namespace vex::ogfile

extern "C" void OGFilePut(OGFILE *o, const uint8_t *pixels, const uint8_t *palette) {
  if (!o || !o->state || !pixels)
    return;
  if (palette && !o->true_colour)
    std::memcpy(o->state->palette.data(), palette, 768);
  // A failed frame leaves its reason for VEXLastError(): the layer's own
  // when it gave one, else the system's word for the failed write.
  const int32_t errors_before = o->error;
  o->error = 0;
  vex::util::clear_reason();
  errno = 0;
  if (o->kind == OGFILE_FLIC)
    vex::ogfile::put_flic(o, pixels, palette);
  else if (o->kind == OGFILE_AVI)
    vex::ogfile::put_avi(o, pixels);
  else
    vex::ogfile::put_still(o, pixels);
  if (o->error && vex::util::last_status() == vex::util::Status::kOk)
    vex::util::fail(vex::util::Status::kWriteFailed, "%s", vex::ogfile::write_failure_text(errno).c_str());
  if (o->error && o->state->failure.empty())
    o->state->failure = vex::util::last_reason();
  o->error |= errors_before;
}

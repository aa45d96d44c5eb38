// GFileDescribe: the input's codings from what its reader holds.
#include <cstring>

#include "gfile/input_reader.h"

namespace vex::gfile {
namespace {

// The codec a kind names by itself (the readers of the others say it).
const char *kind_codec(int32_t kind) {
  switch (kind) {
  case GFILE_BMP: return "BMP";
  case GFILE_GIF: return "GIF";
  case GFILE_TIF: return "TIFF";
  case GFILE_JPEG: return "JPEG";
  case GFILE_TGA: return "TGA";
  case GFILE_PNG: return "PNG";
  case GFILE_PCX: return "PCX";
  case GFILE_RAW: return "RAWB";
  default: return "";
  }
}

} // namespace
} // namespace vex::gfile

using namespace vex::gfile;

extern "C" int32_t GFileDescribe(const GFILE *g, GFILEINFO *info) {
  if (!g || !g->state || !info)
    return 0;
  std::memset(info, 0, sizeof *info);
  describe_text(info->codec, kind_codec(g->kind));
  // The reader state is the library's, not the caller's record: a reader
  // may decode a first picture to tell its colour.
  if (g->state->reader)
    g->state->reader->describe(const_cast<GFILE &>(*g), *info);
  return 1;
}

// SFileWaveCreate and its partners: PCM into a plain WAV file, written under
// a temporary name and renamed into place when complete.
//
//   0  "RIFF", 36 + data bytes (+ 1 pad byte after odd data)
//   8  "WAVE", "fmt ", 16, tag 1, channels, rate, bytes per second,
//      bytes per sample frame, bits
//   36 "data", data bytes, the PCM[, a pad byte]
#include <cstring>
#include <string>
#include <vector>

#include "util/record.h"
#include "util/status.h"
#include "vexutil/file.h"
#include "vexutil/sfile.h"

struct SFILEWAVE {
  std::string temporary, name;
  VEXFILE *out = nullptr;
  uint32_t frame_bytes = 0;
  uint32_t data_bytes = 0;
  bool failed = false;
};

namespace vex::sfile {
namespace {

using util::fail;
using util::Status;

constexpr uint32_t kWaveHeaderBytes = 44;
// The RIFF size word holds 36 + data + pad.
constexpr uint32_t kMostData = UINT32_MAX - 37;

void put_tag(VEXFILE *f, const char *tag) { VEXFilePutNB(f, tag, 4); }

void put_header(VEXFILE *f, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t data_bytes) {
  const uint32_t frame = bits / 8 * channels;
  put_tag(f, "RIFF");
  VEXFilePut32(f, 36 + data_bytes + data_bytes % 2);
  put_tag(f, "WAVE");
  put_tag(f, "fmt ");
  VEXFilePut32(f, 16);
  VEXFilePut16(f, 1);
  VEXFilePut16(f, channels);
  VEXFilePut32(f, rate);
  VEXFilePut32(f, rate * frame);
  VEXFilePut16(f, frame);
  VEXFilePut16(f, bits);
  put_tag(f, "data");
  VEXFilePut32(f, data_bytes);
}

void discard(SFILEWAVE *w) {
  VEXFileClose(w->out);
  VEXFileAbandonTemporary(w->temporary.c_str());
  util::delete_record(w);
}

} // namespace
} // namespace vex::sfile

using namespace vex::sfile;

extern "C" SFILEWAVE *SFileWaveCreate(const char *name, uint32_t rate, uint32_t bits, uint32_t channels) {
  vex::util::clear_reason();
  if (!name || !*name)
    return fail(Status::kInvalidArgument, "no file name");
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || rate == 0 || rate > UINT32_MAX / 4)
    return fail(Status::kInvalidArgument, "a WAV file of %u-bit PCM, %u channels at %u Hz", bits, channels, rate);
  SFILEWAVE *w = vex::util::new_record<SFILEWAVE>();
  if (!w)
    return fail(Status::kOutOfMemory);
  w->name = name;
  std::vector<char> temporary(w->name.size() + 10);
  if (!VEXFileReserveTemporary(name, temporary.data(), static_cast<uint32_t>(temporary.size()))) {
    vex::util::delete_record(w);
    return nullptr;
  }
  w->temporary = temporary.data();
  w->out = VEXFileCreate(65536, w->temporary.c_str());
  if (!w->out) {
    discard(w);
    return fail(Status::kWriteFailed, "%s cannot be created", name);
  }
  w->frame_bytes = bits / 8 * channels;
  put_header(w->out, rate, bits, channels, 0); // the sizes are written at the end
  return w;
}

extern "C" int32_t SFileWaveWrite(SFILEWAVE *w, const void *pcm, uint32_t bytes) {
  if (!w || w->failed)
    return 0;
  if (bytes > kMostData - w->data_bytes) {
    w->failed = true;
    return fail(Status::kTooLarge, "%s: more sound than a WAV file holds (4 GiB)", w->name.c_str());
  }
  if (bytes > 0 && (!pcm || VEXFilePut(w->out, pcm, bytes) != bytes || w->out->write_error)) {
    w->failed = true;
    return fail(Status::kWriteFailed, "%s: write failed", w->name.c_str());
  }
  w->data_bytes += bytes;
  return 1;
}

extern "C" int32_t SFileWaveClose(SFILEWAVE *w, int32_t keep) {
  if (!w)
    return 0;
  if (!keep || w->failed) {
    discard(w);
    return 0;
  }
  VEXFILE *f = w->out;
  if (w->data_bytes % 2 != 0)
    VEXFilePut8(f, 0);
  const uint32_t riff = 36 + w->data_bytes + w->data_bytes % 2;
  VEXFileSetPos(f, 4);
  VEXFilePut32(f, riff);
  VEXFileSetPos(f, kWaveHeaderBytes - 4);
  VEXFilePut32(f, w->data_bytes);
  VEXFileFlush(f, 1);
  if (f->write_error) {
    const std::string why = std::string(w->name) + ": write failed: " + VEXLastError();
    discard(w);
    return fail(Status::kWriteFailed, "%s", why.c_str());
  }
  VEXFileClose(f);
  w->out = nullptr;
  const int32_t renamed = VEXFileCommitTemporary(w->temporary.c_str(), w->name.c_str());
  vex::util::delete_record(w);
  return renamed;
}

// The CSFile family's record life: open (coder choice, lead-in and pass
// lengths), output, close, and the command-line switches. Chunks are
// written by cs_put.cpp.
#include "csfile/cs_writer.h"

#include <algorithm>

#include "audio_codec/audio_codec.h"
#include "csfile/cs_delta_tables.h"
#include "csfile/cs_sound_source.h"
#include "util/record.h"
#include "vexutil/util.h"
#include "util/limits.h"

namespace vex::csfile {
namespace {

constexpr uint32_t kSilence8 = 0x80808080; // four unsigned 8-bit silent samples
constexpr uint32_t kSilence16 = 0;
constexpr uint32_t kTransformMinRate = 16000; // Hz; below, the codec's bands make no sense
constexpr int32_t kDefaultCompression = 104;  // transform codec, quality 4

__extension__ using Wide = unsigned __int128; // products of three 32-bit values

uint32_t down_to_frames(uint32_t bytes, uint32_t frame) { return bytes - bytes % frame; }

// Milliseconds as output bytes, rounded up to whole frames (within 32 bits).
uint32_t ms_to_bytes(int32_t ms, const PcmFormat &f) {
  if (ms <= 0)
    return 0;
  const uint32_t fb = f.frame_bytes();
  const Wide bytes = Wide{f.rate} * fb * static_cast<uint32_t>(ms) / 1000;
  const Wide frames = (bytes + fb - 1) / fb;
  return down_to_frames(vex::util::saturate_u32(frames * fb), fb);
}

// The source's length converted to output bytes, rounded down to whole
// frames: total * output rate * output frame bytes / (source frame bytes *
// source rate).
uint32_t source_length(const PcmSource &s, const PcmFormat &out) {
  const PcmFormat in = s.input();
  const Wide divisor = Wide{in.frame_bytes()} * in.rate;
  if (divisor == 0)
    return 0;
  const Wide bytes = Wide{s.input_bytes()} * out.rate * out.frame_bytes() / divisor;
  return down_to_frames(vex::util::saturate_u32(bytes), out.frame_bytes());
}

bool valid_output(const PcmFormat &f) {
  return f.rate > 0 && (f.bits == 8 || f.bits == 16) && (f.channels == 1 || f.channels == 2);
}

void free_coders(CsWriter *w) {
  AudioCodecFree(w->encoder);
  w->encoder = nullptr;
  for (HUFF *&h : w->huff) {
    HuffClose(h);
    h = nullptr;
  }
}

bool open_coders(CsWriter *w, int32_t compression) {
  const PcmFormat &f = w->format;
  const bool transform = !w->raw && compression / 100 >= 1 && f.bits == 16 && f.rate >= kTransformMinRate;
  if (transform)
    w->encoder = AudioEncOpen(f.rate, f.channels);
  if (w->encoder)
    return true;
  for (HUFF *&h : w->huff) {
    h = HuffOpen(1);
    if (!h)
      return false;
  }
  return true;
}

} // namespace

CSFILE *CSFileOpenSource(std::unique_ptr<PcmSource> source, const CsOptions &options) {
  if (!source || !valid_output(source->output()))
    return nullptr;
  CsWriter *w = util::new_record<CsWriter>();
  if (!w)
    return nullptr;
  w->format = source->output();
  const PcmFormat &f = w->format;
  const int32_t compression = std::max(options.compression, 0);

  w->raw = options.raw_storage ? 1 : 0;
  w->quality = static_cast<uint32_t>(compression % 100);
  w->fill_repeat = options.fill_repeat ? 1 : 0;
  w->repeat_forever = options.repeat_forever ? 1 : 0;
  w->silence = f.bits == 8 ? kSilence8 : kSilence16;
  w->lead_in_bytes = w->lead_in_left = ms_to_bytes(options.lead_in_ms, f);
  w->pass_bytes = options.pass_ms != 0 && !w->raw ? ms_to_bytes(options.pass_ms, f) : source_length(*source, f);
  w->pass_left = w->pass_bytes;
  const DeltaLimits limits = delta_limits(w->quality, f.bits);
  w->delta_mask = limits.mask;
  w->threshold = limits.threshold;
  w->source = source->record();
  w->pcm_source = std::move(source);

  if (!open_coders(w, compression)) {
    CSFileClose(w);
    return nullptr;
  }
  return w;
}

} // namespace vex::csfile

using vex::csfile::CsWriter;

extern "C" CSFILE *CSFileOpen(const char *name, int32_t compression, int32_t fill_repeat, int32_t repeat_forever,
                              int32_t lead_in_ms, int32_t pass_ms, int32_t rate, int32_t bits, int32_t channels,
                              int32_t start, int32_t end, int32_t track, int32_t raw_format, int32_t raw_header,
                              VEXMessageCallback callback) {
  vex::csfile::SoundSourceArgs in{name, rate, bits, channels, start, end, track, raw_format, raw_header, callback};
  if (raw_format != 0) {
    // The raw format carries the rate; bits and channels come with it.
    in.rate = raw_format >> 3;
    in.bits = 0;
    in.channels = 0;
  }
  const vex::csfile::CsOptions options{compression, fill_repeat != 0, repeat_forever != 0, lead_in_ms, pass_ms,
                                      raw_format >= 4};
  auto source = vex::csfile::open_sound_source(in);
  if (!source)
    return nullptr;
  return vex::csfile::CSFileOpenSource(std::move(source), options);
}

extern "C" void CSFileSetOutput(CSFILE *cs, VEXFILE *out) {
  if (!cs)
    return;
  cs->out = out;
  for (HUFF *h : cs->huff)
    HuffSetOutput(h, out);
}

extern "C" void CSFileClose(CSFILE *cs) {
  if (!cs)
    return;
  auto *w = static_cast<CsWriter *>(cs);
  w->pcm_source.reset();
  vex::csfile::free_coders(w);
  static_cast<CSFILE &>(*w) = CSFILE{};
  vex::util::delete_record(w);
}

extern "C" void CSFileCommandline(char *cmd, int32_t *compression, int32_t *p_flag, int32_t *rate, int32_t *bits,
                                  int32_t *channels, int32_t *start, int32_t *end, int32_t *track,
                                  int32_t *raw_format, int32_t *raw_header) {
  if (compression)
    *compression = GetSwitchNum(cmd, 'L', vex::csfile::kDefaultCompression);
  if (p_flag)
    *p_flag = GetSwitch(cmd, 'P') & 0xFF;
  vex::csfile::read_sound_switches(cmd, rate, bits, channels, start, end, track, raw_format, raw_header);
}

// SFileGet: source frames through the resampler into output frames.
//
// Rates: equal rates copy frame by frame. A lower output rate averages the
// source frames that fall on each output frame: output frame k (counted
// from 1) ends when source frames taken * out / in >= k. A higher output
// rate interpolates linearly in fixed point with 10 fraction bits between
// the last two source frames; the first source frame is read ahead before
// the first output frame. Division truncates toward zero everywhere, as
// the stored results depend on it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sfile/source_frames.h"

namespace vex::sfile {
namespace {

constexpr int32_t kFraction = 1024; // 10 fraction bits

void store(const Source &s, uint8_t *&out, const Frame &f) {
  int32_t left = f.left, right = f.right;
  if (s.channels == 1 && left != right)
    left = (left + right) / 2;
  if (s.bits == 16) {
    out[0] = static_cast<uint8_t>(left);
    out[1] = static_cast<uint8_t>(left >> 8);
    if (s.channels == 2) {
      out[2] = static_cast<uint8_t>(right);
      out[3] = static_cast<uint8_t>(right >> 8);
    }
  } else {
    out[0] = static_cast<uint8_t>(left / 256 + 128);
    if (s.channels == 2)
      out[1] = static_cast<uint8_t>(right / 256 + 128);
  }
  out += s.frame_bytes;
}

// Source frames due by the current output frame.
uint64_t due(const Source &s) { return s.taken * s.rate / s.source_rate; }

bool averaged_frame(Source &s, Frame &f) {
  int64_t left = 0, right = 0;
  int64_t count = 0;
  Frame in;
  do {
    if (!take_frame(s, in))
      break;
    left += in.left;
    right += in.right;
    ++count;
  } while (due(s) < s.produced && !s.at_end);
  if (count == 0)
    return false;
  f.left = static_cast<int32_t>(left / count);
  f.right = static_cast<int32_t>(right / count);
  return true;
}

void interpolated_frame(Source &s, Frame &f) {
  if (due(s) <= s.produced) {
    f = Frame{s.next_left, s.next_right};
    s.acc_left = f.left * kFraction;
    s.acc_right = f.right * kFraction;
    Frame next;
    if (take_frame(s, next)) {
      s.next_left = next.left;
      s.next_right = next.right;
    }
    const int64_t n = static_cast<int64_t>(due(s)) - static_cast<int64_t>(s.produced);
    if (n != 0) {
      s.inc_left = static_cast<int32_t>(int64_t{s.next_left - f.left} * kFraction / n);
      s.inc_right = static_cast<int32_t>(int64_t{s.next_right - f.right} * kFraction / n);
    }
    return;
  }
  s.acc_left += s.inc_left;
  s.acc_right += s.inc_right;
  f = Frame{s.acc_left / kFraction, s.acc_right / kFraction};
}

void send_progress(Source &s) {
  if (!s.callback || s.total == 0)
    return;
  char text[64];
  std::snprintf(text, sizeof text, "Processing sound data (%i%%)...",
                static_cast<int>(uint64_t{s.total - s.remaining} * 100 / s.total));
  s.callback(text, s.progress_sent ? 0 : 1);
  s.progress_sent = true;
}

} // namespace

uint32_t get_pcm(Source &s, uint8_t *out, uint32_t bytes) {
  if (!s.primed && s.rate > s.source_rate) {
    Frame first;
    if (take_frame(s, first)) {
      --s.taken; // read ahead, not counted
      s.next_left = first.left;
      s.next_right = first.right;
    }
  }
  s.primed = true;
  uint8_t *p = out;
  const uint32_t wanted = bytes / s.frame_bytes;
  for (uint32_t made = 0; made < wanted && !s.at_end; ++made) {
    ++s.produced;
    Frame f;
    bool ok = true;
    if (s.rate == s.source_rate)
      ok = take_frame(s, f);
    else if (s.rate < s.source_rate)
      ok = averaged_frame(s, f);
    else
      interpolated_frame(s, f);
    if (!ok) {
      --s.produced;
      break;
    }
    store(s, p, f);
  }
  s.frames_out = static_cast<uint32_t>(s.produced);
  s.frames_in = static_cast<uint32_t>(s.taken);
  return static_cast<uint32_t>(p - out);
}

bool refill_buffer(Source &s) {
  const uint32_t fb = s.source_frame_bytes;
  if (!s.buffer) {
    s.allocated = s.buffer_size + kBufferSlack;
    s.buffer = static_cast<uint8_t *>(vexmalloc(s.allocated));
    if (!s.buffer) {
      s.at_end = 1;
      return false;
    }
    s.buffer_end = s.buffer_read = s.buffer;
  }
  while (static_cast<uint32_t>(s.buffer_end - s.buffer_read) < fb && s.remaining > 0) {
    const auto left = static_cast<uint32_t>(s.buffer_end - s.buffer_read);
    std::memmove(s.buffer, s.buffer_read, left);
    s.buffer_read = s.buffer;
    s.buffer_end = s.buffer + left;
    // Movies deliver a whole frame's sound and cut it to `remaining`
    // themselves; files are asked for no more than remains.
    const bool movie = s.kind == kKorvane || s.kind == kTolm;
    const uint32_t space = movie ? s.allocated - left : std::min(s.buffer_size - left, s.remaining);
    const uint32_t got = std::min(refill(s, s.buffer_end, space), s.remaining);
    s.buffer_end += got;
    s.remaining -= got;
    if (got == 0 && !movie)
      s.remaining = 0; // a short read ends the source
  }
  if (static_cast<uint32_t>(s.buffer_end - s.buffer_read) < fb) {
    s.at_end = 1;
    return false;
  }
  return true;
}

uint32_t drop_skipped(Source &s, uint8_t *dest, uint32_t n) {
  const uint32_t drop = std::min(s.skip, n);
  s.skip -= drop;
  std::memmove(dest, dest + drop, n - drop);
  return n - drop;
}

uint32_t refill(Source &s, uint8_t *dest, uint32_t space) {
  switch (s.kind) {
  case kWave:
    return refill_wave(s, dest, space);
  case kKorvane:
    return refill_korvane(s, dest, space);
  case kTolm:
    return refill_tolm(s, dest, space);
  case kAvi:
    return refill_avi(s, dest, space);
  case kQuickTime:
    return refill_quicktime(s, dest, space);
  default:
    return 0;
  }
}

} // namespace vex::sfile

using namespace vex::sfile;

extern "C" uint32_t SFileGet(SFILE *handle, void *buffer, uint32_t bytes) {
  if (!handle || !buffer)
    return 0;
  auto &s = static_cast<Source &>(*handle);
  send_progress(s);
  bytes -= bytes % s.frame_bytes;
  if (s.kind == kList)
    return get_list(s, static_cast<uint8_t *>(buffer), bytes);
  return get_pcm(s, static_cast<uint8_t *>(buffer), bytes);
}

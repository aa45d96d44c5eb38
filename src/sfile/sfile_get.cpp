// SFileGet: source frames through the resampler into output frames.
//
// Rates: equal rates copy frame by frame. A lower output rate averages the
// source frames that fall on each output frame: output frame k (counted
// from 1) ends when source frames taken * out / in >= k. A higher output
// rate interpolates linearly in fixed point with 10 fraction bits between
// the last two source frames; the first source frame is read ahead before
// the first output frame. Division truncates toward zero everywhere, as
// the stored results depend on it.
//
// The loop is instantiated per source and output layout (bits, channels),
// and compares running products instead of dividing per frame:
// floor(t * out / in) >= k  <=>  t * out >= k * in.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "sfile/sound_reader.h"
#include "sfile/source_frames.h"

namespace vex::sfile {
namespace {

constexpr int32_t kFraction = 1024; // 10 fraction bits

// The source buffer as the loop sees it: positions kept in registers,
// written back to the record around each refill and at the end.
template <uint32_t Bits, uint32_t Channels> class FrameReader {
public:
  static constexpr uint32_t kBytes = Bits / 8 * Channels;

  explicit FrameReader(Source &s) : s_(s), read_(s.buffer_read), end_(s.buffer_end), taken_(s.taken) {}

  // The next frame; false at the end (at_end is then set).
  bool take(Frame &f) {
    if (static_cast<uint32_t>(end_ - read_) < kBytes) [[unlikely]] {
      sync();
      if (!refill_buffer(s_))
        return false;
      read_ = s_.buffer_read;
      end_ = s_.buffer_end;
    }
    take_held(f);
    if (static_cast<uint32_t>(end_ - read_) < kBytes && s_.remaining < kBytes) [[unlikely]]
      s_.at_end = 1;
    return true;
  }
  // The next frame where the buffer is known to hold more than it: no
  // refill, and the end cannot come yet.
  void take_held(Frame &f) {
    if constexpr (Bits == 16) {
      f.left = sample16(read_);
      f.right = Channels == 2 ? sample16(read_ + 2) : f.left;
    } else {
      f.left = sample8(read_);
      f.right = Channels == 2 ? sample8(read_ + 1) : f.left;
    }
    read_ += kBytes;
    ++taken_;
  }
  // True when more than n frames are buffered.
  bool holds_more_than(uint64_t n) const { return static_cast<uint64_t>(end_ - read_) > n * kBytes; }
  uint64_t taken() const { return taken_; }
  void uncount() { --taken_; }
  // Skips n whole frames already read in bulk (more than n are held).
  const uint8_t *position() const { return read_; }
  void advance(uint64_t frames) {
    read_ += frames * kBytes;
    taken_ += frames;
  }
  uint64_t held() const { return static_cast<uint64_t>(end_ - read_) / kBytes; }
  void sync() {
    s_.buffer_read = read_;
    s_.taken = taken_;
  }

private:
  Source &s_;
  uint8_t *read_;
  uint8_t *end_;
  uint64_t taken_;
};

// The sums divided by the count, truncating toward zero; the common small
// counts as divisions by constants (multiplications), and 32-bit division
// while the sums fit.
inline Frame average(int64_t left, int64_t right, int64_t count) {
  const auto l = static_cast<int32_t>(left), r = static_cast<int32_t>(right);
  switch (count) {
  case 1:
    return Frame{l, r};
  case 2:
    return Frame{l / 2, r / 2};
  case 3:
    return Frame{l / 3, r / 3};
  case 4:
    return Frame{l / 4, r / 4};
  default:
    if (count < 65536)
      return Frame{l / static_cast<int32_t>(count), r / static_cast<int32_t>(count)};
    return Frame{static_cast<int32_t>(left / count), static_cast<int32_t>(right / count)};
  }
}

template <uint32_t Bits, uint32_t Channels> uint8_t *store(uint8_t *out, int32_t left, int32_t right) {
  if constexpr (Channels == 1)
    if (left != right)
      left = (left + right) / 2;
  if constexpr (Bits == 16) {
    out[0] = static_cast<uint8_t>(left);
    out[1] = static_cast<uint8_t>(left >> 8);
    if constexpr (Channels == 2) {
      out[2] = static_cast<uint8_t>(right);
      out[3] = static_cast<uint8_t>(right >> 8);
    }
  } else {
    out[0] = static_cast<uint8_t>(left / 256 + 128);
    if constexpr (Channels == 2)
      out[1] = static_cast<uint8_t>(right / 256 + 128);
  }
  return out + Bits / 8 * Channels;
}

// n output frames, each the mean of `ratio` source frames read straight
// from the buffer (ratio 2, the commonest, with a constant divisor).
template <uint32_t IB, uint32_t IC, uint32_t OB, uint32_t OC>
uint8_t *average_run(const uint8_t *__restrict__ src, uint8_t *__restrict__ out, uint64_t n, uint64_t ratio) {
  constexpr uint32_t kIn = IB / 8 * IC;
  auto left_of = [](const uint8_t *q) { return IB == 16 ? sample16(q) : sample8(q); };
  auto right_of = [](const uint8_t *q) { return IC == 1 ? (IB == 16 ? sample16(q) : sample8(q)) : (IB == 16 ? sample16(q + 2) : sample8(q + 1)); };
  if (ratio == 2) {
    for (uint64_t k = 0; k < n; ++k, src += 2 * kIn)
      out = store<OB, OC>(out, (left_of(src) + left_of(src + kIn)) / 2, (right_of(src) + right_of(src + kIn)) / 2);
    return out;
  }
  for (uint64_t k = 0; k < n; ++k) {
    int64_t l = 0, r = 0;
    for (uint64_t j = 0; j < ratio; ++j, src += kIn) {
      l += left_of(src);
      r += right_of(src);
    }
    const Frame mean = average(l, r, static_cast<int64_t>(ratio));
    out = store<OB, OC>(out, mean.left, mean.right);
  }
  return out;
}

// The output frames of one call: `made` counts them, `p` is where the
// next one goes, `produced` the running total of the source.
template <uint32_t IB, uint32_t IC, uint32_t OB, uint32_t OC> struct Run {
  Source &s;
  FrameReader<IB, IC> in;
  uint64_t wanted;
  uint8_t *p;
  uint64_t made = 0;
  uint64_t produced;

  Run(Source &source, uint8_t *out, uint32_t n) : s(source), in(source), wanted(n), p(out), produced(source.produced) {}

  // A higher output rate reads the first source frame ahead, uncounted.
  void prime() {
    Frame first;
    if (!s.primed && s.rate > s.source_rate && in.take(first)) {
      in.uncount();
      s.next_left = first.left;
      s.next_right = first.right;
    }
    s.primed = true;
  }

  // Equal rates: frame for frame.
  void copy() {
    Frame f;
    while (made < wanted && !s.at_end) {
      if (in.holds_more_than(1))
        in.take_held(f);
      else if (!in.take(f))
        break;
      p = store<OB, OC>(p, f.left, f.right);
      ++made;
    }
    produced += made;
  }

  // The sums of the source frames output frame `produced` covers (it ends
  // once taken * out >= due); their count, 0 at the end of the source.
  int64_t gather(uint64_t due, uint64_t most, uint64_t &reach, int64_t &left, int64_t &right) {
    const uint64_t out_rate = s.rate;
    int64_t count = 0;
    Frame f;
    if (in.holds_more_than(most)) {
      do {
        in.take_held(f);
        left += f.left;
        right += f.right;
        ++count;
        reach += out_rate;
      } while (reach < due);
      return count;
    }
    do {
      if (!in.take(f))
        break;
      left += f.left;
      right += f.right;
      ++count;
      reach += out_rate;
    } while (reach < due && !s.at_end);
    return count;
  }

  // A lower output rate: each output frame is the mean of the source
  // frames that fall on it.
  void average_down() {
    const uint64_t in_rate = s.source_rate, out_rate = s.rate;
    const uint64_t most = (in_rate + out_rate - 1) / out_rate; // source frames one output frame averages, at most
    uint64_t reach = in.taken() * out_rate;                     // taken * out, kept up by additions
    const uint64_t ratio = in_rate % out_rate == 0 ? in_rate / out_rate : 0;
    while (made < wanted && !s.at_end) {
      // A whole ratio from a frame boundary: every output frame averages
      // exactly `ratio` source frames, a run of them at once while more
      // than the run is held.
      if (ratio != 0 && in.taken() == produced * ratio && in.held() > ratio) {
        const uint64_t n = std::min<uint64_t>(wanted - made, (in.held() - 1) / ratio);
        p = average_run<IB, IC, OB, OC>(in.position(), p, n, ratio);
        in.advance(n * ratio);
        produced += n;
        made += n;
        reach = in.taken() * out_rate;
        continue;
      }
      ++produced;
      int64_t left = 0, right = 0;
      const int64_t count = gather(produced * in_rate, most, reach, left, right);
      if (count == 0) {
        --produced;
        break;
      }
      const Frame mean = average(left, right, count);
      p = store<OB, OC>(p, mean.left, mean.right);
      ++made;
    }
  }

  // A higher output rate: straight lines between source frames, in fixed
  // point; due = floor(taken * out / in) is kept up by whole steps and a
  // remainder.
  void interpolate_up() {
    const uint64_t in_rate = s.source_rate, out_rate = s.rate;
    int32_t acc_l = s.acc_left, acc_r = s.acc_right, inc_l = s.inc_left, inc_r = s.inc_right;
    const uint64_t whole = out_rate / in_rate, part = out_rate % in_rate;
    uint64_t due = in.taken() * out_rate / in_rate, rest = in.taken() * out_rate % in_rate;
    while (made < wanted && !s.at_end) {
      ++produced;
      int32_t l, r;
      if (due <= produced) {
        l = s.next_left;
        r = s.next_right;
        acc_l = l * kFraction;
        acc_r = r * kFraction;
        if (take_next()) {
          due += whole;
          rest += part;
          if (rest >= in_rate) {
            rest -= in_rate;
            ++due;
          }
        }
        // The step count is at most out / in + 1 and the difference times
        // 1024 within 27 bits: 32-bit division suffices.
        const auto n = static_cast<int32_t>(static_cast<int64_t>(due) - static_cast<int64_t>(produced));
        if (n != 0) {
          inc_l = (s.next_left - l) * kFraction / n;
          inc_r = (s.next_right - r) * kFraction / n;
        }
      } else {
        acc_l += inc_l;
        acc_r += inc_r;
        l = acc_l / kFraction;
        r = acc_r / kFraction;
      }
      p = store<OB, OC>(p, l, r);
      ++made;
    }
    s.acc_left = acc_l;
    s.acc_right = acc_r;
    s.inc_left = inc_l;
    s.inc_right = inc_r;
  }

  // The next source frame into the resampler's next samples; false at the end.
  bool take_next() {
    Frame next;
    if (in.holds_more_than(1))
      in.take_held(next);
    else if (!in.take(next))
      return false;
    s.next_left = next.left;
    s.next_right = next.right;
    return true;
  }
};

template <uint32_t IB, uint32_t IC, uint32_t OB, uint32_t OC>
uint32_t produce(Source &s, uint8_t *out, uint32_t wanted) {
  Run<IB, IC, OB, OC> run(s, out, wanted);
  run.prime();
  if (s.rate == s.source_rate)
    run.copy();
  else if (s.rate < s.source_rate)
    run.average_down();
  else
    run.interpolate_up();
  run.in.sync();
  s.produced = run.produced;
  return static_cast<uint32_t>(run.p - out);
}

using Producer = uint32_t (*)(Source &, uint8_t *, uint32_t);

// Indexed by (source 16-bit, source stereo, output 16-bit, output stereo).
template <size_t I> constexpr Producer producer_at() {
  return produce<(I & 8) ? 16 : 8, (I & 4) ? 2 : 1, (I & 2) ? 16 : 8, (I & 1) ? 2 : 1>;
}
template <size_t... I> constexpr std::array<Producer, 16> producers(std::index_sequence<I...>) {
  return {producer_at<I>()...};
}
constexpr std::array<Producer, 16> kProducers = producers(std::make_index_sequence<16>{});

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
  const size_t index = (s.source_bits == 16 ? 8 : 0) | (s.source_channels == 2 ? 4 : 0) | (s.bits == 16 ? 2 : 0) |
                       (s.channels == 2 ? 1 : 0);
  const uint32_t n = kProducers[index](s, out, bytes / s.frame_bytes);
  s.frames_out = static_cast<uint32_t>(s.produced);
  s.frames_in = static_cast<uint32_t>(s.taken);
  return n;
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
    const bool movie = s.reader->by_frames();
    const uint32_t space = movie ? s.allocated - left : std::min(s.buffer_size - left, s.remaining);
    const uint32_t got = std::min(s.reader->refill(s, s.buffer_end, space), s.remaining);
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

void note_input_faults(Source &s, uint64_t failures_before, uint64_t delivered) {
  if (!s.damage.empty())
    return;
  std::string why;
  if (file::read_failures() != failures_before)
    why = file::last_read_failure();
  else if (s.kind != kList)
    why = s.input.change();
  if (!why.empty())
    s.damage = "after " + std::to_string(delivered) + " sample frames: " + why;
}

uint32_t drop_skipped(Source &s, uint8_t *dest, uint32_t n) {
  const uint32_t drop = std::min(s.skip, n);
  s.skip -= drop;
  std::memmove(dest, dest + drop, n - drop);
  return n - drop;
}

} // namespace vex::sfile

using namespace vex::sfile;

extern "C" uint32_t SFileGet(SFILE *handle, void *buffer, uint32_t bytes) {
  if (!handle || !buffer)
    return 0;
  auto &s = static_cast<Source &>(*handle);
  send_progress(s);
  const uint64_t failures = vex::file::read_failures();
  const uint64_t produced = s.produced;
  const bool had_damage = !s.damage.empty();
  const uint32_t n = s.reader ? s.reader->get(s, static_cast<uint8_t *>(buffer), bytes) : 0;
  if (!had_damage)
    note_input_faults(s, failures, produced);
  return n;
}

#include "testkit/sfile/resample_reference.h"

namespace vex::testkit {

std::vector<SoundFrame> frames_of(const std::vector<uint8_t> &pcm, uint32_t bits, uint32_t channels) {
  const size_t fb = bits / 8 * channels;
  std::vector<SoundFrame> out;
  for (size_t i = 0; i + fb <= pcm.size(); i += fb) {
    auto sample = [&](size_t at) {
      return bits == 16 ? static_cast<int32_t>(static_cast<int16_t>(pcm[at] | pcm[at + 1] << 8))
                        : (static_cast<int32_t>(pcm[at]) - 128) * 256;
    };
    const int32_t l = sample(i);
    out.push_back(SoundFrame{l, channels == 2 ? sample(i + bits / 8) : l});
  }
  return out;
}

namespace {

// Output sample of one channel value in the output width.
void put(std::vector<uint8_t> &out, int32_t v, uint32_t bits) {
  if (bits == 16) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  } else {
    out.push_back(static_cast<uint8_t>((v / 256 + 128) & 0xFF));
  }
}

} // namespace

std::vector<uint8_t> reference_output(const std::vector<SoundFrame> &in, uint32_t in_rate, uint32_t out_rate,
                                      uint32_t out_bits, uint32_t out_channels) {
  std::vector<uint8_t> out;
  size_t taken = 0;     // source frames taken (the read-ahead one not counted)
  size_t position = 0;  // next index into `in`
  uint64_t produced = 0;
  bool at_end = in.empty();
  auto take = [&](SoundFrame &f) {
    if (position >= in.size()) {
      at_end = true;
      return false;
    }
    f = in[position++];
    ++taken;
    if (position == in.size())
      at_end = true;
    return true;
  };
  SoundFrame next;
  if (out_rate > in_rate && !at_end) {
    take(next);
    --taken;
  }
  int64_t acc_l = 0, acc_r = 0, inc_l = 0, inc_r = 0;
  while (!at_end) {
    ++produced;
    SoundFrame f;
    const auto due = [&] { return static_cast<uint64_t>(taken) * out_rate / in_rate; };
    if (out_rate == in_rate) {
      take(f);
    } else if (out_rate < in_rate) {
      int64_t sl = 0, sr = 0, count = 0;
      SoundFrame g;
      while (take(g)) {
        sl += g.left;
        sr += g.right;
        ++count;
        if (due() >= produced || at_end)
          break;
      }
      f = SoundFrame{static_cast<int32_t>(sl / count), static_cast<int32_t>(sr / count)};
    } else if (due() <= produced) {
      f = next;
      acc_l = int64_t{f.left} * 1024;
      acc_r = int64_t{f.right} * 1024;
      take(next);
      const int64_t n = static_cast<int64_t>(due()) - static_cast<int64_t>(produced);
      if (n != 0) {
        inc_l = (int64_t{next.left} - f.left) * 1024 / n;
        inc_r = (int64_t{next.right} - f.right) * 1024 / n;
      }
    } else {
      acc_l += inc_l;
      acc_r += inc_r;
      f = SoundFrame{static_cast<int32_t>(acc_l / 1024), static_cast<int32_t>(acc_r / 1024)};
    }
    if (out_channels == 1) {
      put(out, f.left == f.right ? f.left : (f.left + f.right) / 2, out_bits);
    } else {
      put(out, f.left, out_bits);
      put(out, f.right, out_bits);
    }
  }
  return out;
}

} // namespace vex::testkit

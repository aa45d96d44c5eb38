#include "tests/sfile/sfile_test_util.h"

namespace sfile_test {

std::vector<std::pair<std::string, int>> &messages() {
  static std::vector<std::pair<std::string, int>> log;
  return log;
}

int32_t record_message(const char *text, int32_t level) {
  messages().emplace_back(text ? text : "(null)", level);
  return 0;
}

std::vector<std::string> errors() {
  std::vector<std::string> out;
  for (const auto &[text, level] : messages())
    if (level == 2)
      out.push_back(text);
  return out;
}

Source open(const std::string &name, const OpenOptions &o) {
  messages().clear();
  return Source(SFileOpen(name.c_str(), o.rate, o.bits, o.channels, o.start, o.end, o.track, o.raw_format,
                          o.raw_header, record_message));
}

std::vector<uint8_t> read_all(SFILE *s, const std::vector<uint32_t> &pieces) {
  std::vector<uint8_t> out;
  for (size_t i = 0;; ++i) {
    const uint32_t piece = pieces[i % pieces.size()];
    std::vector<uint8_t> buf(piece + 64, 0xA5);
    const uint32_t n = SFileGet(s, buf.data(), piece);
    if (n > piece)
      return {}; // more than asked: the caller's check on the size fails
    for (size_t j = piece; j < buf.size(); ++j)
      if (buf[j] != 0xA5)
        return {};
    out.insert(out.end(), buf.begin(), buf.begin() + n);
    if (n == 0 && piece >= s->frame_bytes)
      return out;
    if (i > 100000000)
      return out;
  }
}

std::vector<Frame> frames_of(const std::vector<uint8_t> &pcm, uint32_t bits, uint32_t channels) {
  const size_t fb = bits / 8 * channels;
  std::vector<Frame> out;
  for (size_t i = 0; i + fb <= pcm.size(); i += fb) {
    auto sample = [&](size_t at) {
      return bits == 16 ? static_cast<int32_t>(static_cast<int16_t>(pcm[at] | pcm[at + 1] << 8))
                        : (static_cast<int32_t>(pcm[at]) - 128) * 256;
    };
    const int32_t l = sample(i);
    out.push_back(Frame{l, channels == 2 ? sample(i + bits / 8) : l});
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

std::vector<uint8_t> reference_output(const std::vector<Frame> &in, uint32_t in_rate, uint32_t out_rate,
                                      uint32_t out_bits, uint32_t out_channels) {
  std::vector<uint8_t> out;
  size_t taken = 0;     // source frames taken (the read-ahead one not counted)
  size_t position = 0;  // next index into `in`
  uint64_t produced = 0;
  bool at_end = in.empty();
  auto take = [&](Frame &f) {
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
  Frame next;
  if (out_rate > in_rate && !at_end) {
    take(next);
    --taken;
  }
  int64_t acc_l = 0, acc_r = 0, inc_l = 0, inc_r = 0;
  while (!at_end) {
    ++produced;
    Frame f;
    const auto due = [&] { return static_cast<uint64_t>(taken) * out_rate / in_rate; };
    if (out_rate == in_rate) {
      take(f);
    } else if (out_rate < in_rate) {
      int64_t sl = 0, sr = 0, count = 0;
      Frame g;
      while (take(g)) {
        sl += g.left;
        sr += g.right;
        ++count;
        if (due() >= produced || at_end)
          break;
      }
      f = Frame{static_cast<int32_t>(sl / count), static_cast<int32_t>(sr / count)};
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
      f = Frame{static_cast<int32_t>(acc_l / 1024), static_cast<int32_t>(acc_r / 1024)};
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

} // namespace sfile_test

#include "testkit/movie/movie_read.h"

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "movie/avi_reader.h"
#include "movie/qt_source_open.h"
#include "testkit/movie/qts_read.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"

namespace vex::testkit {

namespace mv = vex::movie;

std::vector<uint8_t> qt_pixels(const QTFILE *qt) {
  std::vector<uint8_t> out;
  const int bytes = qt->depth == 8 ? qt->width : qt->width * 4;
  for (int y = 0; y < qt->height; ++y)
    out.insert(out.end(), qt->pixels + y * qt->pitch, qt->pixels + y * qt->pitch + bytes);
  return out;
}

std::vector<uint8_t> qt_all_frames(const std::string &file) {
  std::vector<uint8_t> out;
  QTFILE *qt = QTFileOpen(file.c_str());
  for (int f = 0; qt && f < qt->frame_count; ++f) {
    QTFileGet(qt);
    const auto p = qt_pixels(qt);
    out.insert(out.end(), p.begin(), p.end());
  }
  QTFileClose(qt);
  return out;
}

std::vector<uint8_t> dib_bgr(const uint8_t *dib) {
  mv::BitmapHeader h;
  std::memcpy(&h, dib, sizeof h);
  const uint8_t *table = dib + sizeof h, *rows = table + (h.bit_count == 8 ? 1024 : 0);
  const int32_t pitch = (h.width * h.bit_count / 8 + 3) & ~3;
  std::vector<uint8_t> out;
  for (int32_t y = h.height - 1; y >= 0; --y)
    for (int32_t x = 0; x < h.width; ++x) {
      const uint8_t *c = h.bit_count == 8 ? table + rows[y * pitch + x] * 4 : rows + y * pitch + x * (h.bit_count / 8);
      out.insert(out.end(), c, c + 3);
    }
  return out;
}

std::vector<uint8_t> avi_all_frames(const std::string &file) {
  std::vector<uint8_t> out;
  mv::Stream *s = nullptr;
  if (mv::StreamOpenFromSource(&s, source_of(file), mv::kVideo, 0) != mv::kOk)
    return out;
  mv::Getter *g = mv::StreamGetFrameOpen(s);
  for (int32_t f = 0; g && f < mv::StreamLength(s); ++f) {
    const auto *dib = static_cast<const uint8_t *>(mv::StreamGetFrame(g, f));
    if (!dib)
      break;
    const auto bgr = dib_bgr(dib);
    out.insert(out.end(), bgr.begin(), bgr.end());
  }
  mv::StreamGetFrameClose(g);
  mv::StreamRelease(s);
  return out;
}

std::vector<uint8_t> Dib::bgr() const {
  std::vector<uint8_t> all = format;
  all.insert(all.end(), rows.begin(), rows.end());
  return dib_bgr(all.data());
}

Dib pattern_dib(int32_t width, int32_t height, int bits, int frame, int palette) {
  Dib b;
  const int32_t pitch = (width * bits / 8 + 3) & ~3;
  const mv::BitmapHeader h{40, width, height, 1, static_cast<uint16_t>(bits), 0,
                           static_cast<uint32_t>(pitch * height), 0, 0, bits == 8 ? 256u : 0u, 0};
  b.format.resize(40);
  std::memcpy(b.format.data(), &h, 40);
  for (int i = 0; bits == 8 && i < 256; ++i)
    b.format.insert(b.format.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                     static_cast<uint8_t>(i * 3 + palette * 50), 0});
  b.rows.assign(static_cast<size_t>(pitch) * height, 0);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width * bits / 8; ++x)
      b.rows[static_cast<size_t>(y) * pitch + x] = static_cast<uint8_t>(x / 3 * 3 + x % 3 * 20 + y * 4 + frame * 5);
  return b;
}

MovieRead read_quicktime(const file::ByteSource &source) {
  MovieRead out;
  if (QTFILE *qt = mv::QtFileOpenSource(source)) {
    ++out.opened;
    for (int i = 0; i < qt->frame_count; ++i) {
      QTFileGet(qt);
      out.frames.push_back(qt_pixels(qt));
    }
    QTFileGoto(qt, 1);
    QTFileGet(qt);
    out.again = qt_pixels(qt);
    QTFileClose(qt);
  }
  if (QTSFILE *qs = mv::QtsFileOpenSource(source, 0)) {
    ++out.opened;
    out.sound = qts_read_all(qs, 5000);
    QTSFileGoto(qs, 0);
    out.sound_again.resize(qs->rate * qs->frame_bytes);
    out.sound_again.resize(QTSFileGet(qs, out.sound_again.data(), static_cast<uint32_t>(out.sound_again.size())));
    QTSFileClose(qs);
  }
  return out;
}

MovieRead read_avi(const file::ByteSource &source) {
  MovieRead out;
  mv::FileInfo info{};
  if (mv::FileInfoOf(source, &info) != mv::kOk || info.streams != 2)
    return out;
  mv::Stream *video = nullptr, *audio = nullptr;
  if (mv::StreamOpenFromSource(&video, source, mv::kVideo, 0) == mv::kOk) {
    ++out.opened;
    mv::Getter *g = mv::StreamGetFrameOpen(video);
    const auto *header = static_cast<const mv::BitmapHeader *>(mv::StreamFrameBitmap(g));
    const size_t bytes = sizeof(mv::BitmapHeader) + (header->bit_count == 8 ? 1024 : 0) + header->size_image;
    auto frame = [&](int i) {
      const auto *dib = static_cast<const uint8_t *>(mv::StreamGetFrame(g, i));
      return dib ? std::vector<uint8_t>(dib, dib + bytes) : std::vector<uint8_t>{};
    };
    for (int i = 0; i < mv::StreamLength(video); ++i)
      out.frames.push_back(frame(i));
    out.again = frame(1);
    mv::StreamGetFrameClose(g);
    mv::StreamRelease(video);
  }
  if (mv::StreamOpenFromSource(&audio, source, mv::kAudio, 0) == mv::kOk) {
    ++out.opened;
    mv::WaveFormat w{};
    int32_t size = sizeof w, bytes = 0, got = 0;
    mv::StreamReadFormat(audio, 0, &w, &size);
    const int32_t length = mv::StreamLength(audio);
    out.sound.resize(static_cast<size_t>(length) * w.block_align);
    mv::StreamRead(audio, 0, length, out.sound.data(), static_cast<int32_t>(out.sound.size()), &bytes, &got);
    out.sound.resize(static_cast<size_t>(bytes));
    out.sound_again.resize(size_t{w.samples_per_sec} * w.block_align);
    mv::StreamRead(audio, 0, static_cast<int32_t>(w.samples_per_sec), out.sound_again.data(),
                   static_cast<int32_t>(out.sound_again.size()), &bytes, &got);
    out.sound_again.resize(static_cast<size_t>(bytes));
    mv::StreamRelease(audio);
  }
  return out;
}

std::vector<SoundPacket> sound_packets(const std::string &file) {
  std::istringstream in(ffprobe(
      file, "-select_streams a:0 -show_packets -show_entries packet=pts,duration:packet_side_data=skip_samples "
            "-of compact=p=0:nk=0"));
  std::vector<SoundPacket> out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("pts=", 0) != 0)
      continue;
    SoundPacket p;
    std::istringstream fields(line);
    for (std::string f; std::getline(fields, f, '|');) {
      const size_t eq = f.find('=');
      const std::string k = f.substr(0, eq), v = f.substr(eq + 1);
      if (k == "pts")
        p.pts = std::stol(v);
      else if (k == "duration")
        p.duration = std::stol(v);
      else if (k == "skip_samples") // side data, on the packet's line
        p.skip = std::stol(v);
    }
    out.push_back(p);
  }
  return out;
}

namespace {
// Bits as '0' and '1' characters, most significant first.
struct Bits {
  std::string text;
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i)
      text += (value >> i & 1) ? '1' : '0';
  }
};
} // namespace

void name_old_aac_encoder(const std::string &file) {
  std::vector<uint8_t> adts = read_file(file);
  if (adts.size() <= 7 || adts[0] != 0xFF || (adts[1] & 0xF1) != 0xF1)
    throw std::runtime_error(file + ": not an ADTS frame without a checksum");
  const size_t length = size_t{adts[3] & 3u} << 11 | size_t{adts[4]} << 3 | adts[5] >> 5;
  if (length > adts.size())
    throw std::runtime_error(file + ": first frame past the end");
  Bits payload;
  payload.put(0, 4);  // extension type: fill
  payload.put(0, 13); // passed over
  for (char c : std::string("libfaac 1.28") + '\0')
    payload.put(static_cast<uint8_t>(c), 8);
  const uint32_t count = static_cast<uint32_t>(payload.text.size() + 7) / 8; // 15 or more
  payload.text.resize(count * 8, '0');
  Bits block;
  block.put(6, 3); // fill element
  block.put(15, 4);
  block.put(count - 14, 8); // count = 15 + escape - 1
  block.text += payload.text;
  for (size_t i = 7; i < length; ++i)
    block.put(adts[i], 8);
  block.text.resize((block.text.size() + 7) / 8 * 8, '0');
  std::vector<uint8_t> frame(adts.begin(), adts.begin() + 7);
  for (size_t i = 0; i < block.text.size(); i += 8)
    frame.push_back(static_cast<uint8_t>(std::stoul(block.text.substr(i, 8), nullptr, 2)));
  const size_t now = frame.size();
  frame[3] = static_cast<uint8_t>((frame[3] & 0xFC) | (now >> 11 & 3));
  frame[4] = static_cast<uint8_t>(now >> 3);
  frame[5] = static_cast<uint8_t>((frame[5] & 0x1F) | (now & 7) << 5);
  frame.insert(frame.end(), adts.begin() + static_cast<ptrdiff_t>(length), adts.end());
  write_file(file, frame);
}

} // namespace vex::testkit

#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/wav_file.h"
#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

namespace {

namespace tk = vex::testkit;

std::vector<uint8_t> ramp(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint8_t>(i * 3 + 1);
  return v;
}

std::vector<uint8_t> text(const std::string &s) { return {s.begin(), s.end()}; }

} // namespace

// Files that are no PCM or float WAV the WAV reader takes go on to the later
// readers, and with no reader left the open fails with the last reader's
// message; the reason says what the WAV reader saw.
std::vector<BadInput> sound_bad_inputs() {
  std::vector<tk::WavChunk> short_fmt = {tk::fmt_chunk(1, 1, 8000, 8), tk::data_chunk(ramp(100))};
  short_fmt[0].body.resize(14);
  std::vector<tk::WavChunk> lying = {tk::fmt_chunk(1, 1, 8000, 8), tk::data_chunk(ramp(100))};
  lying[0].size = 0x7FFFFFFF;
  const auto wav = [](uint16_t tag, uint16_t channels, uint16_t bits, uint32_t extra, size_t bytes) {
    return tk::wav_bytes({tk::fmt_chunk(tag, channels, 8000, bits, extra), tk::data_chunk(ramp(bytes))});
  };
  std::vector<BadInput> rows = {
      {"adpcm.wav", wav(2, 1, 4, 32, 400), "WAV format tag 0x0002 is neither PCM nor IEEE float"},
      {"pcm20.wav", wav(1, 1, 20, 0, 300), "PCM of 20 bits"},
      {"float64.wav", wav(3, 1, 64, 0, 400), "IEEE float of 64 bits"},
      {"ext24.wav", wav(0xFFFE, 2, 16, 8, 400), "WAVE_FORMAT_EXTENSIBLE file has 24 bytes, fewer than 40"},
      {"extsub.wav", wav(0xFFFE, 2, 16, 24, 400),
       "sub-format 00000000000000000000000000000000 is neither PCM nor IEEE float"},
      {"fmt14.wav", tk::wav_bytes(short_fmt), "the \"fmt \" chunk has 14 bytes, fewer than 16"},
      {"fmtlong.wav", tk::wav_bytes(lying), "Error opening"},
      {"nodata.wav", tk::wav_bytes({tk::fmt_chunk(1, 1, 8000, 8)}), "Error opening"},
      {"avi.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, "Error opening"},
      // Lists of no entry that opens.
      {"empty.lst", {}, "No files in the list file."},
      {"comments.lst", text("\n\n# nothing\n"), "No files in the list file."},
      {"gone.lst", text("no-such-sound-1.wav\nno-such-sound-2.wav\n"), "No files in the list file."},
      // Chunk streams: a Huffman stream does not tell its rate; bytes that
      // are no chunk at all (vexinfo says "no compressed sound chunk").
      {"huffman.vcs", {12, 0, 0, 0, 1, 0, 0, 0, 0xA1, 0x05, 0, 0}, "does not record its sample rate"},
      {"junk.vcs", {1, 2, 3}, "Error opening the audio input file."},
  };
  for (auto &r : rows)
    r.sound = true;
  // A Tolm movie without tracks.
  tk::tolm::RandomMovieOptions silent{.frames = 2};
  rows.push_back({"silent.tlm", tk::tolm::movie_bytes(tk::tolm::random_movie(silent).movie),
                  "No sound found in the Tolm file.", -1, true});
  return rows;
}

} // namespace bad_input

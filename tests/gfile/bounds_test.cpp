// Small files whose headers claim the largest sizes their formats allow
// (sides, frame and sample counts, chunk, table and entry sizes, nesting),
// one row each, every reader of both sources. Each row runs in a child
// process (run_child) under a 512 MiB address-space limit: the child opens
// the file, reads its first frames and its last (the sound: everything, to
// a cap) and closes it; the parent takes the child's peak resident memory.
// A row expects a refusal with its reason, or an open whose memory stays
// within what the file's real size justifies: the same allowance for
// every row (the sources' fixed working set: decoders, colour caches,
// read windows) plus the picture bytes the row's data can fill.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "testkit/gfile/crafted_headers.h"
#include "testkit/gfile/kind_samples.h"
#include "testkit/util/child_process.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/process_usage.h"
#include "testkit/util/sanitizer.h"
#include "testkit/util/temp_dir.h"
#include "util/bytes.h"
#include "vexutil/gfile.h"
#include "vexutil/sfile.h"

namespace {

namespace tk = vex::testkit;
using namespace vex::testkit::crafted;
using vex::util::put_le16;
using vex::util::put_le32;

constexpr bool kAsan = tk::kAddressSanitizer;
constexpr uint64_t kMiB = uint64_t{1} << 20;
// What any open may add to the process, whatever the file: FFmpeg's
// contexts and probe buffers, the colour cache of 8-bit output, the read
// windows. Under ASan the allocator's shadow and quarantine come on top.
constexpr uint64_t kFixedAllowance = (kAsan ? 96 : 40) * kMiB;
constexpr int kFirstFrames = 3;
constexpr uint64_t kSoundCap = 64 * kMiB; // output bytes a sound child reads at most
constexpr uint32_t kAll = 0xFFFFFFFFu;

using Make = std::function<Bytes(const std::string &samples)>;
Make made(Bytes b) {
  return [b](const std::string &) { return b; };
}
// The sample of `name` with `patch` applied to its bytes.
Make patched(const char *name, std::function<void(Bytes &)> patch) {
  return [name, patch](const std::string &dir) {
    Bytes b = tk::read_file(dir + "/" + name);
    patch(b);
    return b;
  };
}

struct Row {
  const char *name; // file name (its extension picks the readers)
  const char *what; // what the header claims
  bool sound;       // through SFileOpen, else GFileOpen
  const char *reason;     // refused with a piece of this reason; nullptr: opens, bounded
  uint64_t picture_bytes; // bounded: memory the data present justifies beyond the allowance
  Make make;
};

std::vector<Row> rows() {
  constexpr uint64_t k8k = 8192 * 8192, k4k = 4096 * 4096;
  const auto sides = [](size_t w, size_t h, uint32_t side) {
    return [=](Bytes &b) { put_le32(&b[w], side), put_le32(&b[h], side); };
  };
  const auto jpeg_sides = [](uint16_t side) {
    return [side](Bytes &b) {
      const size_t sof = find(b, "\xFF\xC0");
      put_be16(&b[sof + 5], side), put_be16(&b[sof + 7], side);
    };
  };
  const auto grey8k = [](std::vector<std::array<uint32_t, 4>> extra) {
    std::vector<std::array<uint32_t, 4>> e = {{256, 4, 1, 8192}, {257, 4, 1, 8192}, {258, 3, 1, 8}, {262, 3, 1, 1},
                                              {273, 4, 1, 200},  {277, 3, 1, 1}};
    e.insert(e.end(), extra.begin(), extra.end());
    return made(tiff(e, Bytes(100, 0)));
  };
  // An FLC of 8192 x 8192 and 65535 frames, then one frame header of `size` with `chunks` chunks (and their bytes).
  const auto flc_frame = [](uint32_t size, uint16_t chunks, Bytes body) {
    Bytes b = flic(65535, 8192, 8192, kAll), frame(16, 0);
    put_le32(&frame[0], size);
    put_le16(&frame[4], 0xF1FA);
    put_le16(&frame[6], chunks);
    b.insert(b.end(), frame.begin(), frame.end());
    b.insert(b.end(), body.begin(), body.end());
    return made(b);
  };
  Bytes raw2 = rawb(kAll, 256, 256);
  for (int f = 0; f < 2; ++f) {
    raw2.insert(raw2.end(), {1, 0, 0, 0});
    raw2.resize(raw2.size() + 256 * 256, uint8_t(f + 1));
  }
  Bytes png_chunk = png(64, 64, 8, 6, {});
  png_chunk.resize(33); // signature and IHDR; then a text chunk of 2 GiB
  png_chunk.insert(png_chunk.end(), {0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't'});
  png_chunk.resize(png_chunk.size() + 64, 'x');
  Bytes chunks(16, 0);
  put_le32(&chunks[0], 0xFFFFFFFCu);
  put_le32(&chunks[4], kAll);
  return {
      // FLIC: 16-bit sides and frame count; frames that are not there (sides beyond the
      // limit are bad_inputs/flic_rows.cpp's, as raw frame files' are rawb_rows.cpp's). A whole first frame
      // (one chunk that clears the picture) justifies the reader's frame and the 8-bit output.
      {"f8k.flc", "8192 x 8192, 65535 frames, header only", false, "frame 1 runs past the end", 0,
       made(flic(65535, 8192, 8192, kAll))},
      {"fchunks.flc", "8192 x 8192, a frame of 4 GiB with 65535 chunks", false, "frame 1 runs past the end", 0,
       flc_frame(kAll, 65535, {})},
      {"f1.flc", "8192 x 8192, 65535 frames, only frame 1 there (a BLACK chunk)", false, nullptr, 2 * k8k,
       flc_frame(22, 1, {6, 0, 0, 0, 13, 0})},
      // Korvane and Tolm: 32-bit sides, frame counts, tree block, index and sound sizes.
      {"kmax.kvn", "8192 x 8192, 2^32-1 frames, 4 GiB of trees", false, "tables do not fit", 0,
       made(korvane(kAll, 8192, kAll))},
      {"k8k.kvn", "the sample with its sides patched to 8192 x 8192", false, "frame 1 does not decode as 8192 x 8192", 0,
       patched("m.kvn", sides(4, 8, 8192))},
      {"k8ks.kvn", "the same, opened for its sound", true, "No sound", 0, patched("m.kvn", sides(4, 8, 8192))},
      {"ksound.kvn", "the sample claiming 16 MiB of sound a frame on 7 tracks", true, "No sound", 0,
       patched("m.kvn", [](Bytes &b) {
         for (int t = 0; t < 7; ++t)
           put_le32(&b[24 + 4 * t], 16u << 20);
       })},
      {"tmax.tlm", "8192 x 8192, 2^32-1 frames, index entries and tracks", false, "the header gives", 0,
       made(tolm(kAll, 8192, kAll, kAll))},
      {"t8k.tlm", "the sample with its sides patched to 8192 x 8192", false, "frame 1 does not decode as 8192 x 8192", 0,
       patched("m.tlm", sides(20, 24, 8192))},
      {"t8ks.tlm", "the same, opened for its sound", true, "No sound", 0, patched("m.tlm", sides(20, 24, 8192))},
      // Raw frame files: the 20-byte file, and a count beyond two whole frames.
      {"r8k.raw", "8192 x 8192, 2^32-1 frames, header only (20 bytes)", false, "frame 1 is cut short at byte 20", 0,
       made(rawb(kAll, 8192, 8192))},
      {"r2.raw", "256 x 256, 2^32-1 frames, two there", false, nullptr, 0, made(raw2)},
      // Stills. BMP, PCX, PNG and TGA are taken up to 4096 on a side. One end-of-picture code
      // is a whole picture of index 0: up to 2048 x 2048 (the image, the decoded indices and
      // the 8-bit output, 4 MiB each); past it the runs must be able to cover the picture.
      {"bmax.bmp", "32-bit 2^31-1 x 2^31-1", false, "2147483647", 0, made(bmp(INT32_MAX, INT32_MAX, 32, 0, {}))},
      {"b8k.bmp", "24-bit 8192 x 8192", false, "rows of pixels", 0, made(bmp(8192, 8192, 24, 0, Bytes(100, 0)))},
      {"b4k.bmp", "24-bit 4096 x 4096, no rows", false, "rows of pixels", 0, made(bmp(4096, -4096, 24, 0, Bytes(100, 0)))},
      {"brle.bmp", "RLE8 2048 x 2048, one end-of-picture code", false, nullptr, 3 * k4k / 4, made(bmp(2048, 2048, 8, 1, {0, 1}))},
      {"brle4k.bmp", "RLE8 4096 x 4096, one end-of-picture code", false, "needs at least 131072 bytes", 0,
       made(bmp(4096, 4096, 8, 1, {0, 1}))},
      {"pmax.pcx", "65536 x 65536, 4 planes of 65535 bytes", false, "65536", 0, made(pcx(65535, 65535, 4, 65535, {}))},
      {"p4k.pcx", "4096 x 4096, 16 bytes of runs", false, "too short", 0, made(pcx(4095, 4095, 1, 4096, Bytes(16, 0xC1)))},
      {"tmax.tga", "RLE 65535 x 65535 at 32 bits, a colour map of 65535", false, "65535", 0,
       made(tga(10, 65535, 65535, 32, 65535, {}))},
      {"t4k.tga", "4096 x 4096 at 32 bits, 64 bytes of pixels", false, "too short", 0, made(tga(2, 4096, 4096, 32, 0, Bytes(64, 1)))},
      {"trle.tga", "RLE 4096 x 4096 at 32 bits, one packet", false, "too short", 0,
       made(tga(10, 4096, 4096, 32, 0, {0xFF, 1, 2, 3, 4}))},
      {"pmax.png", "16-bit RGBA 2^31-1 x 2^31-1", false, "", 0, made(png(0x7FFFFFFF, 0x7FFFFFFF, 16, 6, {}))},
      {"p4k.png", "RGBA 4096 x 4096, an IDAT of 11 bytes", false, "needs at least", 0,
       made(png(4096, 4096, 8, 6, {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00}))},
      {"pchunk.png", "64 x 64, then a text chunk of 2 GiB", false, "", 0, made(png_chunk)},
      {"j64k.jpg", "the sample with its frame patched to 65535 x 65535", false, "", 0, patched("p.jpg", jpeg_sides(65535))},
      {"j8k.jpg", "the sample with its frame patched to 8192 x 8192", false, "needs at least", 0, patched("p.jpg", jpeg_sides(8192))},
      {"tmax.tif", "2^32-1 x 2^32-1, 65535 samples of 32 bits", false, "", 0,
       made(tiff({{256, 4, 1, kAll}, {257, 4, 1, kAll}, {258, 3, 1, 32}, {262, 3, 1, 2}, {273, 4, 1, 200},
                  {277, 3, 1, 65535}, {278, 4, 1, kAll}, {279, 4, 1, kAll}}))},
      {"t8k.tif", "grey 8192 x 8192, one strip of 4 GiB, no pixels", false, "needs at least", 0,
       grey8k({{278, 4, 1, 8192}, {279, 4, 1, kAll}})},
      {"tzip.tif", "grey 8192 x 8192 deflated into 100 bytes", false, "needs at least", 0,
       grey8k({{259, 3, 1, 8}, {278, 4, 1, 8192}, {279, 4, 1, 100}})},
      {"tstrips.tif", "8192 x 8192 in 2^32-1 strips", false, "", 0,
       made(tiff({{256, 4, 1, 8192}, {257, 4, 1, 8192}, {258, 3, 1, 8}, {262, 3, 1, 1}, {273, 4, kAll, 200},
                  {277, 3, 1, 1}, {278, 4, 1, 1}, {279, 4, kAll, 200}},
                 Bytes(100, 0)))},
      {"gmax.gif", "a screen and picture of 65535 x 65535", false, "beyond the picture limits", 0,
       made(gif(65535, 65535, 65535, 65535, 1))},
      {"g8k.gif", "8192 x 8192, one picture of a single pixel's data", false, "needs at least", 0,
       made(gif(8192, 8192, 8192, 8192, 1))},
      {"ganim.gif", "an animation of 200 pictures of 4096 x 4096, each one pixel's data", false, "needs at least", 0,
       made(gif(4096, 4096, 4096, 4096, 200))},
      // Movies through FFmpeg: container fields at their largest.
      {"a8k.avi", "the sample's headers patched: 2^31-1 frames, 8192 x 8192, buffers of 4 GiB", false, nullptr, 0,
       patched("m.avi", [](Bytes &b) {
         const size_t avih = find(b, "avih") + 8, strh = find(b, "strh") + 8, strf = find(b, "strf") + 8;
         put_le32(&b[avih + 16], 0x7FFFFFFF), put_le32(&b[avih + 28], kAll);
         put_le32(&b[avih + 32], 8192), put_le32(&b[avih + 36], 8192);
         put_le32(&b[strh + 32], kAll), put_le32(&b[strh + 36], kAll);
         put_le32(&b[strf + 4], 8192), put_le32(&b[strf + 8], 8192);
       })},
      {"aidx.avi", "the sample's index claiming 4 GiB", false, nullptr, 0,
       patched("m.avi", [](Bytes &b) { put_le32(&b[find(b, "idx1") + 4], 0xFFFFFFF0u); })},
      {"asound.avi", "the sample's sound claiming 65535 channels at 2^32-1 Hz", true,
       "an AVI file the movie library cannot read", 0, patched("m.avi", [](Bytes &b) {
         const size_t auds = find(b, "strf", find(b, "auds")) + 8;
         put_le16(&b[auds + 2], 65535), put_le32(&b[auds + 4], kAll);
       })},
      {"q64k.mov", "the sample's table claiming 2^32-1 samples, its picture 65535 x 65535", false, "cannot read", 0,
       patched("m.mov", [](Bytes &b) {
         const size_t stsd = find(b, "stsd") + 12;
         put_be16(&b[stsd + 32], 65535), put_be16(&b[stsd + 34], 65535);
         put_be32(&b[find(b, "stsz") + 12], kAll);
       })},
      {"qstts.mov", "the sample's time table claiming 2^32-1 entries", false, "cannot read", 0,
       patched("m.mov", [](Bytes &b) { put_be32(&b[find(b, "stts") + 8], kAll); })},
      // Sound.
      {"wmax.wav", "65535 channels of 32 bits at 2^32-1 Hz, 4 GiB of data", true, "65535 channels", 0,
       made(wav(65535, kAll, 32, kAll, 16))},
      {"w4g.wav", "stereo 16-bit 48 kHz, 4 GiB of data, 64 bytes there", true, nullptr, 0, made(wav(2, 48000, 16, kAll, 64))},
      {"cmax.vcs", "one chunk of 4 GiB decoding to 4 GiB", true, "", 0, made(chunks)},
      // Executables: the section count (a movie inside is read by the Korvane rows' reader).
      {"xsect.exe", "the sample with 65535 sections", false, "65535 sections", 0,
       patched("m.exe", [](Bytes &b) { put_le16(&b[vex::util::le32(&b[0x3C]) + 6], 65535); })},
      // Lists: one that names itself (nesting without end), and a name repeated 2^31-1 times.
      {"self.lst", "a list naming itself", false, "", 0,
       [](const std::string &dir) {
         const std::string line = dir + "/self.lst\n";
         return Bytes(line.begin(), line.end());
       }},
      {"rep.lst", "a FLIC repeated 2^31-1 times", false, "100000 entries", 0,
       [](const std::string &dir) {
         const std::string line = dir + "/a.flc /L2147483647\n";
         return Bytes(line.begin(), line.end());
       }},
  };
}

// The child: opens, reads the first frames and the last (the sound: all,
// to the cap), and prints "opened <0|1>", the reason, and the damage.
int read_in_child(const std::string &name, bool sound) {
  std::string reason, damage;
  if (sound) {
    SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    std::vector<uint8_t> buffer(1 << 16);
    for (uint64_t total = 0, n; s && total < kSoundCap && (n = SFileGet(s, buffer.data(), uint32_t(buffer.size()))) > 0;)
      total += n;
    reason = s ? "" : VEXLastError();
    damage = s && SFileDamage(s) ? SFileDamage(s) : "";
    std::printf("opened %d\n%s\n%s\n", s != nullptr, reason.c_str(), damage.c_str());
    SFileClose(s);
    return 0;
  }
  GFILEOPTIONS opt = GFILEOPTIONS_INIT;
  opt.flags = GFILE_DEEP_TRUE_COLOUR;
  GFILE *g = GFileOpenWith(name.c_str(), &opt);
  if (!g) {
    std::printf("opened 0\n%s\n\n", VEXLastError());
    return 0;
  }
  for (int i = 0; i < std::min(g->output_frames, kFirstFrames); ++i)
    GFileGet(g);
  damage = GFileDamage(g) ? GFileDamage(g) : "";
  const int32_t total = g->total_frames;
  GFileClose(g);
  if (total > kFirstFrames) {
    opt.first = opt.last = total;
    if ((g = GFileOpenWith(name.c_str(), &opt))) {
      GFileGet(g);
      damage = damage.empty() && GFileDamage(g) ? GFileDamage(g) : damage;
      GFileClose(g);
    }
  }
  std::printf("opened 1\n\n%s\n", damage.c_str());
  return 0;
}

TEST(GfileBounds, CraftedHeadersAreRefusedOrBounded) {
  tk::TempDir dir;
  tk::write_kind_samples(dir);
  for (const Row &row : rows()) {
    SCOPED_TRACE(std::string(row.name) + ": " + row.what);
    const std::string name = dir.file(row.name);
    tk::write_file(name, row.make(dir.path().string()));
    const uint64_t base = uint64_t(tk::process_usage().vm_rss_kib) * 1024;
    const tk::ChildResult m = tk::run_child([&] { return read_in_child(name, row.sound); },
                                            {.timeout = std::chrono::seconds(30), .address_space = kAsan ? 0 : 512 * kMiB});
    // Under ASan the pictures of the first open are still held in its
    // quarantine when the file is opened again for its last frame.
    const uint64_t bound = base + kFixedAllowance + row.picture_bytes * (kAsan ? 2 : 1);
    EXPECT_EQ(m.status, 0) << "signal " << m.signal << (m.timed_out ? ", timed out" : "") << "\n" << m.err;
    EXPECT_LE(m.peak, bound);
    EXPECT_LT(m.seconds, 20.0);
    if (row.reason) {
      EXPECT_EQ(m.out.rfind("opened 0\n", 0), 0u) << m.out;
      const std::string reason = m.out.substr(9, m.out.find('\n', 9) - 9);
      EXPECT_NE(reason, "");
      EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
    } else {
      EXPECT_EQ(m.out.rfind("opened 1\n", 0), 0u) << m.out;
    }
  }
}

} // namespace

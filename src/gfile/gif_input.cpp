// GIF (kind 4). A file of one picture is a still image (still_input.cpp),
// read exactly as the other stills. A file of several is an animation
// (type "GIF animation"): its pictures composed as a viewer shows them
// (stills/gif_animation.h), 8-bit with the file's palette when every
// picture uses the global colour table, else 32-bit.
//
// Timing: a picture is shown for its delay in hundredths of a second, a
// delay of 0 or 1 as 10 (what browsers and ffmpeg's GIF reader do). The
// source rate is 100 / t frames a second, t the greatest common divisor of
// the delays, and picture i fills delay_i / t source frames: every picture
// is shown for exactly its delay. Equal delays d give 100 / d frames a
// second and one source frame a picture; delays of 7 and 10 give 100
// frames a second. The frames after a picture's first repeat it (frame
// bytes 0).
//
// An animation larger than kMaxStillSide on a side is refused (its canvas
// and the copy that disposal 3 needs are held at 4 bytes a pixel), as is
// one whose frames would not fit the frame count.
#include <algorithm>
#include <memory>
#include <numeric>

#include "gfile/input_reader.h"
#include "stills/gif_animation.h"
#include "util/status.h"

namespace vex::gfile {
namespace {

using stills::GifAnimation;

class GifAnimationReader final : public InputReader {
public:
  GifAnimationReader(std::unique_ptr<GifAnimation> gif, uint32_t tick) : gif_(std::move(gif)), tick_(tick) {}

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    if (!s.first_fetch_done)
      skip_to_first(g, [&] { step(s); });
    g.frame_bytes = step(s);
    s.frame = SourceFrame{gif_->pixels(), gif_->pitch(), gif_->width(), gif_->height(), gif_->depth()};
    if (!gif_->indexed() || palette_given_)
      return false;
    for (size_t i = 0; i < 256; ++i) {
      g.source_palette[i][0] = gif_->table()[i][2];
      g.source_palette[i][1] = gif_->table()[i][1];
      g.source_palette[i][2] = gif_->table()[i][0];
    }
    palette_given_ = true;
    return true;
  }

  void rewind(GFILE &) override {
    gif_->rewind();
    repeats_ = 0;
    palette_given_ = false;
  }

private:
  // One source frame: the next picture once the one shown has had its
  // time, else the same picture again. Its bytes in the file, 0 for a
  // repeat.
  int32_t step(GFILESTATE &s) {
    if (repeats_ > 0) {
      --repeats_;
      return 0;
    }
    const size_t i = gif_->shown();
    if (i >= gif_->pictures().size())
      return 0;
    const stills::GifPicture &p = gif_->pictures()[i];
    note_damage(s, gif_->next() != 0);
    repeats_ = GifAnimation::shown_delay(p) / tick_ - 1;
    return static_cast<int32_t>(std::min<uint32_t>(p.bytes, INT32_MAX));
  }

  std::unique_ptr<GifAnimation> gif_;
  uint32_t tick_;        // hundredths of a second a source frame
  uint32_t repeats_ = 0; // source frames the shown picture still fills
  bool palette_given_ = false;
};

Opened open_gif(GFILE &g, const OpenArgs &, const lists::InputFile &file) {
  auto gif = std::make_unique<GifAnimation>();
  if (gif->open(file.source) != 0)
    return Opened::declined;
  if (gif->pictures().size() < 2)
    return open_still(g, file, stills::Format::gif, GFILE_GIF, "GIF still image");
  if (gif->width() > kMaxStillSide || gif->height() > kMaxStillSide) {
    util::fail(util::Status::kTooLarge, "an animated GIF of %d x %d pixels is larger than %d on a side", gif->width(),
               gif->height(), kMaxStillSide);
    return Opened::declined;
  }
  uint32_t tick = 0;
  for (const stills::GifPicture &p : gif->pictures())
    tick = std::gcd(tick, GifAnimation::shown_delay(p));
  uint64_t frames = 0;
  for (const stills::GifPicture &p : gif->pictures())
    frames += GifAnimation::shown_delay(p) / tick;
  if (frames > INT32_MAX) {
    util::fail(util::Status::kTooLarge, "an animated GIF of %llu frames at %u/100 s",
               static_cast<unsigned long long>(frames), tick);
    return Opened::declined;
  }
  GFILESTATE &s = *g.state;
  if (!gif->damage().empty()) {
    util::fail(util::Status::kDamaged, "%s", gif->damage().c_str());
    note_damage(s, true);
  }
  copy_text(g.name, sizeof g.name, file.name.c_str());
  copy_text(g.type, sizeof g.type, "GIF animation");
  g.kind = GFILE_GIF;
  g.source_width = gif->width();
  g.source_height = gif->height();
  g.depth = gif->depth();
  g.frame_count = static_cast<int32_t>(frames);
  const uint32_t common = std::gcd(100u, tick);
  g.source_num = 100 / common;
  g.source_den = tick / common;
  s.reader = std::make_unique<GifAnimationReader>(std::move(gif), tick);
  return Opened::accepted;
}

bool is_gif(const lists::InputFile &f) { return starts_with(f, 0, "GIF8"); }

} // namespace

const ReaderRow kGifRow{GFILE_GIF, {{".gif"}}, is_gif, open_gif};

} // namespace vex::gfile

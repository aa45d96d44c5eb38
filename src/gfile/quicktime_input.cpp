// QuickTime movies (kind 0x21): frames from the QuickTime reader's own
// buffer, 8-bit with its colour table or 32-bit.
#include <cstring>

#include "gfile/input_reader.h"
#include "movie/media_reader.h"
#include "movie/qt_file_steps.h"
#include "movie/qt_source_open.h"

namespace vex::gfile {
namespace {

class QuickTimeReader final : public InputReader {
public:
  explicit QuickTimeReader(QTFILE *qt) : qt_(qt) {}
  ~QuickTimeReader() override { QTFileClose(qt_); }
  bool whole_after_failed_read() const override { return false; }
  QuickTimeReader(const QuickTimeReader &) = delete;
  QuickTimeReader &operator=(const QuickTimeReader &) = delete;

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    if (!s.first_fetch_done)
      QTFileGoto(qt_, static_cast<int32_t>(s.first_offset));
    // When nothing decodes, the previous picture (pending or in the
    // buffer) stays and the frame is damage.
    int32_t index = 0;
    const bool decoded = movie::QtDecodeNext(qt_, &index);
    if (!decoded)
      note_frame_not_decoded(s, int64_t{index} + 1);
    if (may_defer_picture(g)) { // decoded now, converted at delivery
      if (decoded) {
        pending_ = true;
        position_ = index;
      }
    } else {
      pending_ = false;
      if (decoded)
        movie::QtFillBuffer(qt_, index);
    }
    g.frame_bytes = static_cast<int32_t>(qt_->frame_bytes);
    s.frame = SourceFrame{qt_->pixels, qt_->pitch, qt_->width, qt_->height, qt_->depth};
    if (qt_->depth > 8)
      return false;
    bool changed = false;
    for (int i = 0; i < 256; ++i) {
      const uint8_t rgb[3] = {qt_->palette[i][2], qt_->palette[i][1], qt_->palette[i][0]};
      if (std::memcmp(g.source_palette[i], rgb, 3) != 0) {
        std::memcpy(g.source_palette[i], rgb, 3);
        changed = true;
      }
    }
    return changed;
  }

  bool deliver_pending(GFILE &g, uint8_t *dst) override {
    if (!pending_ || !whole_frame_visible(g))
      return false;
    const bool keep_fourth = g.alpha != 0 && g.state->frame.depth == 32;
    return movie::QtFrameInto(qt_, position_, keep_fourth, dst, g.pitch);
  }
  // AVI frames are read by position, QuickTime goes to the first frame
  // at the first fetch: a rewind only drops a picture not yet delivered.
  void rewind(GFILE &) override { pending_ = false; }
  void realise_pending(GFILE &) override {
    if (pending_)
      movie::QtFillBuffer(qt_, position_);
    pending_ = false;
  }
  void describe(GFILE &, GFILEINFO &info) override {
    movie::MovieFacts facts;
    if (movie::QtFactsOf(qt_, &facts))
      describe_movie(facts, info);
  }

private:
  QTFILE *qt_;
  bool pending_ = false; // decoded, not yet in the reader's buffer
  int32_t position_ = 0;
};

Opened open_quicktime(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  QTFILE *qt = movie::QtFileOpenSource(file.source);
  if (!qt)
    return Opened::declined;
  g.state->reader = std::make_unique<QuickTimeReader>(qt);
  copy_text(g.name, sizeof g.name, file.name.c_str());
  copy_text(g.type, sizeof g.type, "QuickTime");
  g.kind = GFILE_QUICKTIME;
  g.source_width = qt->width;
  g.source_height = qt->height;
  g.depth = qt->depth;
  g.frame_count = qt->frame_count;
  g.source_num = qt->rate_num;
  g.source_den = qt->rate_den;
  g.has_sound = qt->has_sound ? 1 : 0;
  return Opened::accepted;
}

} // namespace

const ReaderRow kQuickTimeRow{GFILE_QUICKTIME, {{".mov"}}, nullptr, open_quicktime};

} // namespace vex::gfile

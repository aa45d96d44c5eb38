// giflib over a byte source, as both GIF readers use it (the still picture
// of gif_codec.cpp and the animation of gif_animation.cpp): the decoder
// handle with the cursor it reads through, the walk past an extension, and
// the order in which a picture stores its rows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <gif_lib.h>

#include "stills/still_codec.h"

namespace vex::stills {

class GifStream {
public:
  // The source must outlive the stream.
  explicit GifStream(const file::ByteSource &source) : cursor_(source) {}
  // giflib's decoder at the start of the data, its header and screen
  // descriptor read; false when they are not GIF's.
  bool open();
  GifFileType *get() const { return gif_.get(); }
  // Bytes handed to giflib so far. giflib asks for exactly the bytes of
  // each field and block, so this is the file position of the next record.
  uint64_t position() const { return cursor_.position(); }
  // Goes on at `at`: only where a record starts, and only when giflib
  // holds nothing of the current picture's data (after its last block, or
  // after a failure inside it: the next descriptor resets the decoder).
  void seek(uint64_t at) { cursor_.seek(at); }

private:
  struct Closer {
    void operator()(GifFileType *g) const {
      int err = 0;
      DGifCloseFile(g, &err);
    }
  };
  static int read_input(GifFileType *g, GifByteType *out, int n);
  BufferedCursor cursor_;
  std::unique_ptr<GifFileType, Closer> gif_; // closed before the cursor goes
};

// Reads an extension to its end; the graphics control block when it is one
// (true), left untouched otherwise. False when the blocks break off.
bool read_extension(GifFileType *g, GraphicsControlBlock *control, bool *is_control);

// giflib keeps a copy of every image descriptor (and its local colour
// table) it has read, growing one array an entry at a time. Readers that
// walk a file record by record need none of them: dropping them after each
// descriptor keeps the memory of a walk constant, however many pictures
// the file holds.
void forget_saved_images(GifFileType *g);

// Rows of a picture of height h in the order the file stores them.
std::vector<int32_t> row_order(int32_t h, bool interlaced);

} // namespace vex::stills

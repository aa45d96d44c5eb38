// QTFileGet in steps, for a caller that may take a picture straight into
// rows of its own instead of the record's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vexutil/movie.h"

namespace vex::movie {

struct MovieFacts; // media_reader.h

// Decodes the record's next frame and moves on as QTFileGet does (frame
// bytes, current time, next frame) without converting it; `*index` is the
// frame's index. False when nothing decodes (the buffer keeps its pixels).
bool QtDecodeNext(QTFILE *qt, int32_t *index);
// Converts frame `index` into the record's buffer (and palette), as
// QTFileGet would have; decodes again only when another frame came since.
void QtFillBuffer(QTFILE *qt, int32_t index);
// 32-bit rows of frame `index` top row first, `pitch` bytes apart, the
// colours of the buffer and the fourth byte kept or 0; false when that
// cannot be done exactly (QtFillBuffer is then the way).
bool QtFrameInto(QTFILE *qt, int32_t index, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch);

// The codings of the movie as its reader knows them (see
// VideoReader::facts); false for a null record.
bool QtFactsOf(QTFILE *qt, MovieFacts *out);

} // namespace vex::movie

// QTFileOpen and QTSFileOpen over a byte source the caller opened: what
// the graphics and sound sources call with the one source they opened for
// an input. The record's reader keeps a copy of the source (a memory
// source's bytes must outlive the record) and reads nothing else; the
// public by-name opens open a source and call these.
#pragma once

#include <cstdint>
#include <string>

#include "file/byte_source.h"
#include "vexutil/movie.h"

namespace vex::movie {

// As QTFileOpen: null when the source is not open, the media libraries do
// not start, it is no QuickTime movie with pictures, or memory is short.
QTFILE *QtFileOpenSource(const file::ByteSource &source);
// As QTSFileOpen: tracks count from 1, 0 means 1.
QTSFILE *QtsFileOpenSource(const file::ByteSource &source, int32_t track);
// libavcodec's name of the sound track's codec ("aac", "mp3", ...); "" for
// a null record.
const char *QtsCodecName(const QTSFILE *qs);
// The name as the by-name opens read it: expanded to a full path. Empty
// when there is none or it does not fit the record's path buffer.
std::string QtFullName(const char *name);

} // namespace vex::movie

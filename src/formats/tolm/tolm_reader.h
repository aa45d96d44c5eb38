// The Tolm movie reader and playback engine (internal to the library; the
// graphics and sound sources call it).
//
// The file layout is described in tolm_format.h.
//
// The movie is read through a read-ahead ring of whole 4096-byte units,
// sized to the busiest second of the movie and filled at open, or preloaded
// whole when the ring would hold at least nine tenths of it. Frame records
// go into a record buffer and are decoded once each into one of two frame
// buffers (one when every frame is a key frame).
//
// There is no background reader thread and no sound output: everything
// runs on the caller's thread (so the ring needs no locks), and the track
// the open selects is only remembered in wanted_track.
#pragma once

#include <cstdint>

#include "formats/tolm/tolm_decoder.h"
#include "formats/tolm/tolm_format.h"
#include "file/byte_source.h"
#include "file/read_ahead_ring.h"
#include "vexutil/file.h"

namespace vex::formats::tolm {

// Open flags.
inline constexpr uint32_t kTolmOpenByTrackId = 0x4000;      // select the track by the ID given to TolmOpen
inline constexpr uint32_t kTolmOpenAlpha = 0x100000;        // decode the alpha plane when the file has one
inline constexpr uint32_t kTolmOpenNoBackground = 0x8000000; // no background reader (always the case here)
// Refuse a movie whose first frame does not decode without a fault at the
// header's picture size, before the frame buffers (about 3 bytes a pixel)
// are allocated: a header alone does not pay for them.
inline constexpr uint32_t kTolmOpenCheckFirst = 0x1000000;
// Sound only: no frame buffers, and video decoding off for good (a reader
// of the sound tracks pays nothing for the picture size).
inline constexpr uint32_t kTolmOpenSoundOnly = 0x2000000;
// Decoder flags added from the version letter.
inline constexpr uint32_t kTolmSignedColours = 0x8000; // "TLMf", "TLMg", "TLMh"
inline constexpr uint32_t kTolmSwapChroma = 0x10000;   // "TLMf", "TLMg"
inline constexpr uint32_t kTolmIoUnit = 4096;
// Readable zero bytes kept behind every frame record (the decoder's bit
// reader may look ahead of the data it consumes).
inline constexpr uint32_t kTolmRecordSlack = 16;

struct TOLM;

// The file side: the read-ahead ring over the movie's byte source.
// Positions are relative to the start of the movie.
using TOLMIO = file::ReadAheadRing;

struct TOLM {
  // Read by the graphics and sound sources.
  uint32_t output_width, output_height; // decoded size, doubled by the scaling mode
  uint32_t frames;
  int32_t current;   // 1-based frame whose record was read last
  int32_t previous;
  uint32_t rate_num, rate_den;
  int32_t read_error;
  uint32_t decoder_flags;
  uint32_t video_flags;
  uint32_t file_size_field; // file size - 8
  uint32_t latest;           // frame buffer holding the most recent decoded frame
  uint8_t *frame_buffer[2];  // Y (W*H), U, V (cw*ch each)
  uint8_t *alpha[2];         // W*H each, null without alpha
  uint32_t padded_width, padded_height, chroma_width, chroma_height;
  uint8_t *block_map; // block count + 16 bytes, zero at block count
  uint32_t blocks_across, block_count;
  uint32_t largest_frame, index_count, tracks;
  uint32_t sound_window, sound_window_frame; // largest bytes in a second of frames, and where it starts
  uint8_t *record;       // the current frame record
  uint32_t record_size;  // its length in bytes
  uint8_t *record_buffer; // largest_frame + slack; null when preloaded
  uint8_t *image;         // a preloaded movie from the start of frame 1 on
  const uint32_t *index;
  TOLMIO io;
  file::ByteSource *source; // where the movie's bytes come from (null once preloaded)
  uint8_t *ring;
  uint32_t ring_size;
  uint32_t decoded_width, decoded_height;
  int32_t wanted_track; // the track the open's flags and ID select, -1 none
  const uint32_t *track_sizes, *track_formats, *track_ids;
  uint32_t frames_decoded;
  int32_t last_decoded;
  uint32_t rounded_rate;
  int32_t video_decoding;
  void *bundles[kTolmBundleCount];
  uint32_t last_faults; // VEX_TOLM_FAULT_ bits of the last decode
  uint32_t version;     // the version letter: 'f' to 'i'
  uint8_t *frame_memory; // second allocation (frame buffers, alpha planes)
};

// The movie from the start of `source`, which the reader keeps (a copy:
// the caller's stays usable). Under kTolmOpenByTrackId the track whose ID
// is `track_id` is selected (-1 or an unknown ID: none), else track 0.
// Before anything is allocated from them, the header must fit the bytes
// the file holds, and every index entry of a playable frame must lie after
// the index, inside the movie, no earlier than the entry before it, and no
// further from it than the largest frame size; otherwise null, and
// TolmLastError() says why. A source that is not open (the caller's open
// failed and recorded why) gives null.
TOLM *TolmOpen(file::ByteSource source, uint32_t flags, int32_t track_id = -1);
void TolmClose(TOLM *t);
// The text of the calling thread's last open failure ("" after a
// success): the thread's last reason (util/status.h), which TolmOpen
// records with the reader's own texts.
const char *TolmLastError();

// 0, or 1 when a read error has been seen or the record is damaged. A
// sound packet longer than its record refuses that frame; a short read
// marks the movie, and every later frame reports it.
int32_t TolmDoFrame(TOLM *t);
void TolmNextFrame(TOLM *t);
// Decodes forward from the key frame at or before `frame`.
void TolmGoto(TOLM *t, int32_t frame, uint32_t flags);
// flags & 127: 0 backwards, 1 forwards, 2 nearest; bit 7: do not take f itself.
int32_t TolmGetKeyFrame(const TOLM *t, int32_t frame, uint32_t flags);
// Copies the latest decoded frame to 32-bit pixels through the YUV
// blitters, with the movie's scaling mode, chroma swap ("TLMf", "TLMg") and
// grey flag; a negative pitch writes a bottom-up buffer. 1 when skipped
// (never here), else 0.
int32_t TolmCopyToBuffer(TOLM *t, void *dest, int32_t pitch, int32_t height, int32_t x, int32_t y,
                         uint32_t flags);
void TolmSetVideoDecoding(TOLM *t, int32_t on);
uint32_t TolmGetTrackFormat(const TOLM *t, uint32_t track);
uint32_t TolmGetTrackID(const TOLM *t, uint32_t track);
// The sound packet of a track in the current record (after its length
// word): 1 and the span when the record holds it whole, else 0.
int32_t TolmGetPacket(const TOLM *t, uint32_t track, const uint8_t **packet, uint32_t *length);


// Reads the record of frame n (0 reads frame 1).
void tolm_read_record(TOLM *t, int32_t n);

} // namespace vex::formats::tolm

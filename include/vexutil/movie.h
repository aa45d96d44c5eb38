/* Movies: pictures and movie sound read frame by
   frame and second by second, over the system's media libraries
   (libavformat, libavcodec, libswscale, libswresample; one decoder thread
   per reader). Files of the QuickTime family: .mov, .mp4, .m4a, .3gp.

   Frames are what a player shows: samples that the file's edit list leaves
   out, or that are marked to be discarded, are decoded when later ones need
   them but are not frames. Frame i is the i-th presentation time. A jump
   decodes from the last key frame at or before the target, which gives the
   same picture as stepping there from frame 0.

   Colours: pictures become blue-green-red with the colour matrix and range
   each picture is tagged with (BT.601, BT.709, FCC, SMPTE 240M, BT.2020;
   limited or full range), picture by picture. An untagged picture is BT.709
   when HD-sized (height 720 or more, or width 1280 or more), else BT.601,
   and limited range unless its pixel format is a full-range one.

   Sound: the samples the libraries' decoders deliver from the start of the
   track (what `ffmpeg -i FILE -f s16le -` writes): the encoder's priming
   and what an edit list cuts off the start are dropped once; an edit list
   that ends early ends the sound with the last packet it reaches. A jump
   lands on the exact sample: up to 10 seconds ahead decodes on, any other
   jump starts a fresh decoder a little before the target, which gives the
   samples of reading from the start except in bands a codec fills with
   generated noise (AAC's noise substitution, AC-3's dither).

   Threads: a QTFILE or QTSFILE belongs to one thread at a time; distinct
   records may work on distinct threads at once, over the same file too,
   each with its decoder thread of its own. The start of the media
   libraries is the process's: VEXAVIInit and VEXQTShutdown may run on any
   thread (they and the opens take one lock), and a shutdown leaves the
   records that are open working; the next open starts the libraries
   again. */
#ifndef VEXUTIL_MOVIE_H
#define VEXUTIL_MOVIE_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

/* A movie's pictures. The record comes zeroed from QTFileOpen; callers read
   the leading fields directly, in this order. */
typedef struct QTFILE {
  int32_t width, height;
  int32_t pitch;         /* bytes per row of the pixel buffer, a multiple of 4 */
  int32_t depth;         /* 8: palette indices; 32: blue, green, red, alpha */
  int32_t frame_count;   /* frames a player shows (see above): presented samples */
  uint32_t rate_num;     /* frames per second = rate_num / rate_den */
  uint32_t rate_den;
  uint32_t frame_bytes;  /* compressed bytes of the frame last delivered */
  uint32_t unused;
  int32_t has_sound;     /* the movie has a sound track */
  uint8_t palette[256][4]; /* blue, green, red, 0; valid for depth 8 */
  uint8_t *pixels;       /* first pixel of the top row */
  /* Private from here on. */
  void *movie;
  uint32_t duration;     /* in time units of 1/time_scale second */
  uint32_t time_scale;
  uint32_t current_time;
  int32_t next_frame;
  uint8_t *buffer;       /* height x pitch bytes, owned by the record */
} QTFILE;

/* A movie's sound as PCM: 16-bit signed little-endian, or 8-bit unsigned
   when the track itself holds 8-bit samples; channels interleaved, more
   than two mixed down to stereo; converted one second at a time. */
typedef struct QTSFILE {
  uint32_t rate;         /* sample frames per second */
  uint32_t bits;         /* 8 or 16 */
  uint32_t channels;     /* 1 or 2 */
  uint32_t total_bytes;  /* whole track in output bytes: exactly what reading
                            from the start delivers */
  uint32_t video_rate_num; /* video frames x time scale; 0 without video */
  uint32_t video_rate_den; /* movie duration in time-scale units */
  uint32_t frame_bytes;  /* bytes per sample frame */
  /* Private from here on. */
  void *movie;
  uint32_t position;     /* read position in sample frames */
  uint8_t *data;         /* converted sound, two seconds' room */
  uint8_t *pending;      /* converted bytes not yet delivered */
  uint32_t pending_count;
  uint32_t time_scale;   /* = rate: one time unit is one sample frame */
  uint32_t duration;     /* in sample frames */
  uint32_t remaining;    /* sample frames after the read position */
} QTSFILE;

/* Starts the media libraries once per process; later calls do nothing. */
VEX_API void VEXAVIInit(void);
/* Drops the movie readers' hold on the media libraries (the first reader
   open takes it, and it is reference counted); the next open starts them
   again. Nothing else needs starting: there is no runtime to load and no
   message loop to run. */
VEX_API void VEXQTShutdown(void);

/* Opens a movie's video track. The record and its pixel buffer (height x
   pitch bytes) are the caller's until QTFileClose; the pixel buffer starts
   black and the first QTFileGet delivers frame 0. Null when the media
   libraries do not start, the file is no movie, it has no video track, or
   memory is short (nothing is left allocated). */
VEX_API QTFILE *QTFileOpen(const char *name);
/* Decodes the next frame into the pixel buffer (and, at depth 8, its
   palette), sets frame_bytes and moves on by one. A frame that cannot be
   read or decoded leaves the buffer as it was. Null handle: nothing. */
VEX_API void QTFileGet(QTFILE *qt);
/* The next QTFileGet delivers frame `frame` (counted from 0; negative
   counts as 0). Null handle: nothing. */
VEX_API void QTFileGoto(QTFILE *qt, int32_t frame);
/* Closes the movie and frees the record and its buffer; null is ignored. */
VEX_API void QTFileClose(QTFILE *qt);

/* Opens a movie's sound track. Track numbers count from 1; 0 means 1. The
   record is the caller's until QTSFileClose. Null for a negative track,
   when the media libraries do not start, when there is no such sound
   track, or when memory is short (nothing is left allocated). */
VEX_API QTSFILE *QTSFileOpen(const char *name, int32_t track);
/* Converts up to count bytes of sound into buffer (count bytes long) from
   the read position on; returns the bytes delivered. When nothing at all
   can be converted (the end of the track, a damaged packet) it delivers
   min(16, count) bytes of silence instead, so that a caller waiting for
   sound keeps moving. 0 for a null handle or buffer. */
VEX_API uint32_t QTSFileGet(QTSFILE *qs, void *buffer, uint32_t count);
/* Moves the read position to `ms` milliseconds and drops what was
   converted but not yet delivered. Null handle: nothing. */
VEX_API void QTSFileGoto(QTSFILE *qs, uint32_t ms);
/* Closes the movie and frees the record; null is ignored. */
VEX_API void QTSFileClose(QTSFILE *qs);

VEX_EXTERN_C_END

#endif

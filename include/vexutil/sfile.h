/* Sound source: one handle over every sound-bearing input. WAV files (8- or
   16-bit PCM), raw PCM files, list files (".lst") and numbered series that
   chain several inputs, Korvane (".kvn") and Tolm (".tlm") movies, also
   inside a self-playing executable (".exe"), AVI files and QuickTime
   movies. SFileGet delivers PCM in the output format asked for at open,
   converting width and channel count and resampling on the fly: a lower
   rate averages the source frames that fall on each output frame, a higher
   one interpolates linearly (10 fraction bits); stereo becomes mono as the
   mean of the two sides, 16 bits become 8 as the high byte + 128; every
   division truncates toward zero.

   WAV: chunks before "fmt " and between "fmt " and "data" (LIST, fact,
   cue, ...) are skipped; an odd-sized chunk is followed behind its pad
   byte, or right behind its body when the writer left the pad byte out
   (the chunk name found there decides); a "data" chunk that claims more
   than the file holds gives what is there, an empty one opens at its end.
   A WAV that is not plain 8- or 16-bit PCM (float, WAVE_FORMAT_EXTENSIBLE,
   ADPCM, 24-bit) is not taken, and the later readers are tried; when none
   takes it the open fails and VEXLastError() adds what the WAV reader saw
   ("WAV format tag 0x0003 is not plain PCM").
   A Tolm track delivers every frame's sound, the last frame's included.

   PCM: 8-bit samples unsigned (128 = silence), 16-bit signed little-endian,
   stereo interleaved left, right. */
#ifndef VEXUTIL_SFILE_H
#define VEXUTIL_SFILE_H

#include "vexutil/api.h"
#include "vexutil/file.h"
#include "vexutil/movie.h"
#include "vexutil/util.h"

VEX_EXTERN_C_BEGIN

struct KORVA; /* Korvane movie (internal) */

/* Source kinds (field `kind`). */
#define SFILE_WAVE 1      /* WAV or raw PCM file, type "Wave" */
#define SFILE_KORVANE 2   /* type "Korvane" */
#define SFILE_AVI 3       /* audio stream of an AVI file, type "AVI" */
#define SFILE_LIST 4      /* list file or numbered series, type "List" */
#define SFILE_QUICKTIME 5 /* type "QuickTime" */
#define SFILE_TOLM 6      /* type "" */

/* The record behind an SFILE handle. Field order is part of the interface;
   callers read the fields up to `frames_in` (and may read the rest). Byte
   counts are in the source's format unless said otherwise. */
typedef struct SFILE {
  char name[128];            /* the name as finally opened (with any extension added) */
  char type[128];            /* "Wave", "Korvane", "AVI", "List", "QuickTime", "" */
  int32_t at_end;            /* 1 when no more sound can be delivered */
  uint32_t rate;             /* output sample frames per second */
  uint32_t bits;             /* output bits per sample: 8 or 16 */
  uint32_t channels;         /* output channels: 1 or 2 */
  uint32_t frame_bytes;      /* output bytes per sample frame */
  uint32_t frames_out;       /* output sample frames produced so far (modulo 2^32) */
  uint32_t source_rate;
  uint32_t source_bits;
  uint32_t source_channels;
  uint32_t source_frame_bytes;
  uint32_t frames_in;        /* source sample frames taken so far (modulo 2^32) */
  uint8_t *buffer;           /* source bytes, allocated at the first read */
  uint8_t *buffer_end;       /* end of what it holds */
  uint8_t *buffer_read;      /* next source byte */
  uint32_t buffer_size;
  uint32_t track_mask;       /* Korvane: 0x2000 << track index */
  int32_t kind;              /* SFILE_WAVE ... SFILE_TOLM */
  int32_t next_left, next_right;   /* resampler: the next source samples */
  int32_t acc_left, acc_right;     /* accumulators, 10 fraction bits */
  int32_t inc_left, inc_right;     /* increments, 10 fraction bits */
  VEXMessageCallback callback;
  uint32_t remaining;        /* source bytes still to deliver */
  uint32_t total;            /* source bytes after trimming */
  /* The fields from here to the end keep the record's layout. The library
     holds each kind's reader in state of its own; of these it fills only
     data_start (WAV and raw: where the sound starts in the file, trimmed
     start included), skip and skip_initial, and leaves the rest zero. */
  VEXFILE *file;             /* unused (0) */
  uint32_t data_start;       /* WAV or raw: where its sound starts in the file */
  VEXFILE *exe_file;         /* unused (0) */
  struct KORVA *korva;       /* unused (0) */
  void *tolm;                /* unused (0) */
  void *tolm_track;          /* unused (0) */
  uint32_t skip;             /* Korvane, Tolm, lists: source bytes still to drop at the start */
  uint32_t skip_initial;     /* restored by SFileReset */
  VEXFILE *list_file;        /* unused (0) */
  struct SFILE *entry;       /* unused (0) */
  char list_pattern[128];    /* unused (0) */
  int32_t series_counter;    /* unused (0) */
  int32_t series_end;        /* unused (0) */
  void *avi_stream;          /* unused (0) */
  uint32_t avi_first;        /* unused (0) */
  uint32_t avi_offset;       /* unused (0) */
  uint32_t avi_offset_reset; /* unused (0) */
  QTSFILE *qt;               /* unused (0) */
  uint32_t qt_start_ms;      /* unused (0) */
  int32_t repeat;            /* unused (0) */
  char repeated[256];        /* unused (0) */
  int32_t repeated_start, repeated_end; /* unused (0) */
} SFILE;

/* Opens a sound input.
   rate: output rate in Hz, 0 for the source's. bits: 8 or 16, anything else
   the source's. channels: 1 or 2, anything else the source's.
   start, end: positive values are milliseconds; a negative value -f is frame
   f (counted from 1) for sources with frames (Korvane, Tolm, AVI and
   QuickTime with video; its start, or for `end` its end), else |value|
   milliseconds. When start <= end (and not both 0) the sound is limited to
   end - start.
   track: Korvane track 1-7 (0: the first with sound), Tolm track index, AVI
   audio stream index, QuickTime track (1 the first; 0 the first).
   raw_format: 0 for a file with a header; otherwise the file is raw PCM at
   raw_format >> 3 Hz, stereo when bit 0 is set, 16-bit when bit 1 is set,
   after raw_header bytes (cut to the file size - 1).
   callback: null, or receives errors at level 2 and progress at levels 1
   and 0: "Counting frames in <name> (<p>%)..." while the frames of an AVI
   with video are listed (at the start, then at most five times a second)
   and "Opening <entry>..." before each entry of a list. A true answer to
   these cancels: the open fails with the reason "cancelled" and no error
   message. The errors: "No sound found in the
   Korvane file.", "No sound found in the specified Korvane track.", "No
   sound found in the Tolm file.", "Error reading AVI file.", "Error opening
   the audio input file.", "No files in the list file.".
   Readers are tried in this order, the first that accepts the file wins:
   WAV, raw PCM (only with a raw format), Korvane, Tolm, executable, AVI
   (its audio streams decoded to PCM), QuickTime. A name without extension is tried
   as ".wav", ".kvn", ".tlm", ".avi", ".mov". The type of a Korvane source
   is "Korvane" with an explicit track too.
   Null on failure; VEXLastError() says why (the callback's text or more). */
VEX_API SFILE *SFileOpen(const char *name, int32_t rate, int32_t bits, int32_t channels, int32_t start, int32_t end, int32_t track, int32_t raw_format, int32_t raw_header, VEXMessageCallback callback);

/* Delivers up to `bytes` bytes (rounded down to whole output frames) of
   output PCM. Fewer at the end of the sound and, for lists, at the seam
   between entries; 0 at the end. */
VEX_API uint32_t SFileGet(SFILE *s, void *buffer, uint32_t bytes);

/* Back to the trimmed start. */
VEX_API void SFileReset(SFILE *s);

/* Releases everything (null is fine). */
VEX_API void SFileClose(SFILE *s);

/* Reads the sound switches of a command line, removing them: rate <- /R,
   bits <- /B, channels <- /C, start <- /S, end <- /E, track <- /T (default
   0 each); raw_format <- /Y: for /Y1 to /Y5 the raw format is (Y - 1) +
   8 * /D (the rate, default 11025) and raw_header <- /K (default 0), so /Y1
   is 8-bit mono, /Y2 8-bit stereo, /Y3 16-bit mono, /Y4 16-bit stereo;
   any other /Y value is kept as the raw format and the header is 0. Every
   out-pointer may be null. */
VEX_API void SFileCommandLine(char *cmd, int32_t *rate, int32_t *bits, int32_t *channels, int32_t *start, int32_t *end, int32_t *track, int32_t *raw_format, int32_t *raw_header);

VEX_EXTERN_C_END

#endif

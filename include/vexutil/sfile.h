/* Sound source: one handle over every sound-bearing input. WAV files (PCM
   of 8, 16, 24 or 32 bits, 32-bit float, also as WAVE_FORMAT_EXTENSIBLE),
   raw PCM files, list files (".lst") and numbered series that
   chain several inputs, Korvane (".kvn") and Tolm (".tlm") movies, also
   inside a self-playing executable (".exe"), AVI files, QuickTime movies
   and compressed sound chunk streams (".vcs", vexutil/csfile.h). SFileGet
   delivers PCM in the output format asked for at open, converting width
   and channel count and resampling on the fly: a lower rate averages the
   source frames that fall on each output frame, a higher one interpolates
   linearly (10 fraction bits); stereo becomes mono as the mean of the two
   sides, 16 bits become 8 as the high byte + 128; every division truncates
   toward zero.

   WAV: chunks before "fmt " and between "fmt " and "data" (LIST, fact,
   cue, ...) are skipped; an odd-sized chunk is followed behind its pad
   byte, or right behind its body when the writer left the pad byte out
   (the chunk name found there decides); a "data" chunk that claims more
   than the file holds gives what is there, an empty one opens at its end.
   Samples of 24 and 32 bits and float samples are converted to 16 bits as
   they are read (source_bits stays 8 or 16, and the byte counts of the
   record are those of the converted samples): integers give their top 16
   bits, floats are multiplied by 32768, rounded to nearest and clamped
   (NaN gives 0). A WAV of another kind (ADPCM, 20-bit PCM, 64-bit float,
   an extensible "fmt " chunk shorter than 40 bytes or of another
   sub-format) is not taken, and the later readers are tried; when none
   takes it the open fails and VEXLastError() adds what the WAV reader saw
   ("WAV format tag 0x0002 is neither PCM nor IEEE float").
   A Tolm track delivers every frame's sound, the last frame's included.

   Chunk streams: a file whose name ends in ".vcs" (any letter case) and
   that starts with a whole chunk. A stream records no sample rate, so the
   rate argument of SFileOpen is the stream's own (the output is then at
   that rate too): Huffman-coded deltas need it (the open fails without
   it); transform blocks without it are read at the first rate their first
   chunk decodes at, tried as CSFileScan does (the rate given must be one
   they decode at). Raw chunks cannot be told from damage: a raw format
   (raw_format, see below; raw_header is not used) says the chunks are raw
   PCM of that format, padding included. The whole chunks from the start
   are read; a chunk that does not decode ends the sound there, and
   SFileDamage says which and why, as it does for bytes after the last
   whole chunk.

   PCM: 8-bit samples unsigned (128 = silence), 16-bit signed little-endian,
   stereo interleaved left, right.

   Threads: an SFILE or SFILEWAVE belongs to one thread at a time; distinct
   handles may work on distinct threads at once, over the same input too.
   The callback runs on the thread that called. Two SFILEWAVEs with one
   final name each write a temporary of their own; the last to close gives
   the name its file. */
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
#define SFILE_CHUNKS 7    /* compressed sound chunk stream, type "Chunks" */

/* The record behind an SFILE handle. Field order is part of the interface;
   callers read the fields up to `frames_in` (and may read the rest). Byte
   counts are in the source's format unless said otherwise. */
typedef struct SFILE {
  char name[128];            /* the name as finally opened (with any extension added) */
  char type[128];            /* "Wave", "Korvane", "AVI", "List", "QuickTime", "", "Chunks" */
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
  int32_t kind;              /* SFILE_WAVE ... SFILE_CHUNKS */
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
   name: a file, a list file or a numbered series. A name that names a
   file (without extension: a file of that name with some extension) is
   opened as given, whatever it looks like ("/data/s5/x.wav", "s24x.wav").
   Otherwise a trailing run of blank-separated words /S<n>,
   /E<n>, /L<n> (either case, n may be negative) after the name are
   switches: "movie.kvn /S3 /E5" trims as a list line's /S3 /E5 do (start
   -3, end -5: frames for sources with frames, else milliseconds) when
   start and end are both 0 (trimming the caller asks for wins); "a.wav
   /L2" plays it twice, as a list. Switch-like text anywhere else is part of
   the name.
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
   chunk stream (a ".vcs" name), WAV, raw PCM (only with a raw format),
   Korvane, Tolm, executable, AVI
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

/* An addition of this library: the first damage the source has found in a
   chunk stream ("chunk 3 (at byte 5120): the codes run past its end, 812
   sample frames short"; "after chunk 4, 6 bytes are no whole chunk"), or
   null when none. The sound ends where the damage is. Valid until
   SFileClose. */
VEX_API const char *SFileDamage(const SFILE *s);

/* Releases everything (null is fine). */
VEX_API void SFileClose(SFILE *s);

/* Writing a WAV file: the plain 44-byte header ("RIFF", "WAVE", a 16-byte
   "fmt " chunk of tag 1, "data") and the PCM, in the format above. The file
   is written under a hidden temporary name beside `name` (see
   VEXFileReserveTemporary) and takes its name only when it is complete.
   Null when rate, bits (8 or 16) or channels (1 or 2) are not such PCM, or
   the folder takes no file; VEXLastError() says why. */
typedef struct SFILEWAVE SFILEWAVE;
VEX_API SFILEWAVE *SFileWaveCreate(const char *name, uint32_t rate, uint32_t bits, uint32_t channels);
/* Appends bytes of PCM (whole sample frames). 1 done; 0 when a write failed
   or the sound would pass what a WAV file can hold (4 GiB); the file can
   then no longer be kept. */
VEX_API int32_t SFileWaveWrite(SFILEWAVE *w, const void *pcm, uint32_t bytes);
/* keep nonzero: completes the header, closes the file and renames it to
   its name, replacing a file of that name; 1 done, 0 when a write or the
   rename failed (the temporary is removed; VEXLastError() says why).
   keep 0: removes the temporary and returns 0. Frees the handle either way
   (null is fine). */
VEX_API int32_t SFileWaveClose(SFILEWAVE *w, int32_t keep);

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

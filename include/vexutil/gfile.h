/* Graphics input: the graphics source (one handle over every picture
   input) and its command-line options.

   Inputs, tried in this order (a name without extension is tried with each
   default extension in turn): a list file (".lst") or numbered series,
   WAV (sent to the sound-only source), FLIC (".flc", ".fli"), Korvane
   (".kvn"), Tolm (".tlm"), a movie inside an executable (".exe"), BMP, PCX,
   PNG, TGA, AVI, QuickTime (".mov"), TIF, GIF, JPEG, anything the sound
   source accepts (a silent 4 x 4 picture) and the raw frame file (".raw",
   "RAWB"). With the alpha flag QuickTime is tried before the stills.

   Frames: 8-bit palette indices with a 256-entry red, green, blue palette,
   pitch = width rounded up to a multiple of 4; or, with GFILE_TRUE_COLOUR,
   4 bytes per pixel in the order blue, green, red, fourth byte (0, or the
   source's alpha with GFILE_ALPHA), pitch 4 times that. Rows top first.

   Threads: a GFILE belongs to one thread at a time; distinct GFILEs may
   be opened, read, reset and closed on distinct threads at once, over the
   same input too (each open reads the file through a descriptor of its
   own). The second source GFileGet opens for palettes, and the movie
   readers' decoder threads, belong to the handle and never meet another
   handle's. The callback runs on the thread that called. GFileOpen starts
   the media libraries for a movie (process-wide and locked, see
   vexutil/movie.h). GFileCommandLine edits only the caller's buffers. */
#ifndef VEXUTIL_GFILE_H
#define VEXUTIL_GFILE_H

#include "vexutil/api.h"
#include "vexutil/util.h"

VEX_EXTERN_C_BEGIN

/* Open flags. */
#define GFILE_TRUE_COLOUR 1 /* deliver 32-bit pixels */
#define GFILE_ALPHA 2       /* keep the fourth byte of 32-bit sources; QuickTime first */
/* Deliver frames at the source's own kind of depth: 32-bit pixels when the
   source is deeper than 8 bits as read (depth_read), else 8-bit indices
   with the source's own palettes (unless the palette options ask for built
   ones). GFileOpen decides once the reader is chosen and sets true_colour
   to say which; GFILE_TRUE_COLOUR is ignored with this flag. As with
   GFILE_TRUE_COLOUR, a source delivered in true colour is never promoted
   automatically (promotion 0). One open serves a caller that keeps the
   input's depth, where it would otherwise open the input once to learn the
   depth and again to ask for it. */
#define GFILE_DEEP_TRUE_COLOUR 4

/* Kind codes (field `kind`); kinds below 32 are still images, one frame at
   15 a second, except that a GIF of several pictures (GFILE_GIF, type "GIF
   animation") is a movie: its pictures composed as a viewer shows them,
   8-bit with the file's global palette when every picture uses it, else
   32-bit (fourth byte 0 where only background shows); its rate is 100/t
   frames a second, t the greatest common divisor of the delays in
   hundredths (0 and 1 taken as 10), each picture filling delay/t frames. */
#define GFILE_BMP 3
#define GFILE_GIF 4
#define GFILE_TIF 5
#define GFILE_JPEG 6
#define GFILE_TGA 7
#define GFILE_PNG 8
#define GFILE_PCX 9
#define GFILE_AVI 0x20
#define GFILE_QUICKTIME 0x21
#define GFILE_FLIC 0x80
#define GFILE_KORVANE 0x81
#define GFILE_RAW 0x82
#define GFILE_TOLM 0x83
#define GFILE_LIST 0x100
#define GFILE_SOUND_ONLY 0x200

struct GFILESTATE; /* the library's own working state */

/* The record behind a GFILE handle. Callers read the fields up to
   `source_palette`; the field order and widths are part of the interface.
   Counters are frames unless said otherwise. */
typedef struct GFILE {
  char name[128];            /* the input as opened, default extension included */
  char type[128];            /* "List", "Flic", "Korvane", "Tolm", "AVI", "QuickTime",
                                "BMP still image" ..., "GIF animation", "Sound-only";
                                "" for raw */
  int32_t true_colour;       /* 1: frames are 32-bit pixels */
  int32_t alpha;             /* 1: 32-bit sources keep their fourth byte */
  int32_t kind;              /* GFILE_BMP ... GFILE_SOUND_ONLY */
  int32_t width, height;     /* output size: the crop delivered by GFileGet */
  int32_t source_width, source_height;
  int32_t has_sound;         /* 0 or 1 */
  int32_t speed;             /* output frame duration, negated, in 10 us units */
  uint32_t out_num, out_den; /* output rate, frames per second = num / den */
  uint32_t play_num, play_den;     /* playback rate */
  uint32_t source_num, source_den; /* the input's own rate */
  int32_t frame_count;       /* source frames in the selected range */
  int32_t fetched;           /* source frames fetched so far */
  int32_t output_frames;     /* output frames after rate conversion (at least 1) */
  int32_t delivered;         /* output frames delivered so far */
  int32_t depth;             /* source bits per pixel (24 after promotion) */
  int32_t frame_depth;       /* bits per pixel of the frame last fetched: 4, 8, 16, 24, 32 */
  int32_t depth_read;        /* source depth before promotion */
  uint8_t *buffer;           /* output frame: height x pitch bytes; null until the first GFileGet */
  int32_t pitch;             /* bytes per output row, once `buffer` is set (see below) */
  int32_t frame_bytes;       /* bytes of the last frame (compressed size where known) */
  uint32_t file_size;        /* bytes; for a list the sum over its entries */
  int32_t total_frames;      /* frames of the input before the range was applied */
  uint8_t palette[256][3];   /* output palette, red, green, blue (8-bit output) */
  int32_t unused;
  int32_t at_end;            /* 1 once the last source frame of the range was fetched */
  int32_t clip_x, clip_y;    /* visible window's origin within the source */
  int32_t crop_x, crop_y;    /* requested origin (negative: the source sits inside the output) */
  int32_t clip_width, clip_height; /* visible window's size (0 when nothing is visible) */
  int32_t uncovered_width, uncovered_height; /* output past the source at the right and bottom */
  int32_t origin_x, origin_y; /* the requested origin when negative; -source size when nothing
                                 is visible; else 0 */
  int32_t palette_built;     /* set to 1 each time GFileGet builds a palette; the caller clears it */
  uint8_t source_palette[256][3]; /* palette of the current source frame */
  /* The library's working state: callers must not touch it. */
  struct GFILESTATE *state;
} GFILE;

/* `pitch` before the first frame. The open sets pitch to the output width
   rounded up to a multiple of 4: the row in pixels, which is also the row
   in bytes of 8-bit output. In true colour the first GFileGet multiplies it
   by 4 when it allocates `buffer` (unless the caller set buffer and pitch
   itself), so from then on pitch is always bytes per row. A caller that
   creates the output writer straight after the open passes the row in
   pixels, (width + 3) & ~3, as OGFileCreate's source_pitch: that is pitch
   before the first GFileGet, and pitch / 4 after it in true colour. */

/* What GFileDescribe tells beyond the record. */
#define GFILE_MATRIX_NONE 0 /* the pictures are no luma and chroma (stills, FLIC, palettes, RGB movies) */
#define GFILE_MATRIX_BT601 1
#define GFILE_MATRIX_BT709 2
#define GFILE_MATRIX_FCC 3
#define GFILE_MATRIX_SMPTE240M 4
#define GFILE_MATRIX_BT2020 5
#define GFILE_RANGE_NONE 0
#define GFILE_RANGE_LIMITED 1 /* luma 16-235 */
#define GFILE_RANGE_FULL 2    /* 0-255 */
/* Bits of colour_tagged: the picture names its matrix, its range. */
#define GFILE_MATRIX_TAGGED 1
#define GFILE_RANGE_TAGGED 2

/* The input's codings, as GFileDescribe fills them. Texts end with a 0
   byte; a field the input has nothing for is 0 or "". The field order and
   widths are part of the interface. */
typedef struct GFILEINFO {
  char codec[32];           /* the pictures' coding: a movie's as libavcodec names it (ffprobe's
                               codec_name: "h264", "mpeg4", "rawvideo", ...); "FLC", "FLI",
                               "Korvane", "Tolm", "RAWB", "BMP", "GIF", "TIFF", "JPEG", "TGA",
                               "PNG", "PCX"; "" for sound with no picture. A list tells its
                               current entry's. */
  int32_t colour_matrix;    /* GFILE_MATRIX_*: what the movie's first picture is converted with
                               (each picture is converted with its own; see movie.h) */
  int32_t colour_range;     /* GFILE_RANGE_*: likewise */
  int32_t colour_tagged;    /* GFILE_MATRIX_TAGGED, GFILE_RANGE_TAGGED: which of the two the
                               first picture names; the others follow the untagged convention */
  int32_t has_sound;        /* 1: the input has sound and the fields below describe it */
  char sound_codec[32];     /* as libavcodec names it ("aac", "mp3", "pcm_s16le", "pcm_u8", ...);
                               "Korvane", "Tolm" for those movies' own coding */
  uint32_t sound_rate;      /* sample frames per second */
  uint32_t sound_bits;      /* bits per sample of the PCM the sound source delivers (8 or 16;
                               compressed sound is delivered as 16 unless the track is 8-bit) */
  uint32_t sound_channels;  /* channels the track holds (the sound source delivers at most 2) */
  uint32_t unused;          /* 0 */
  uint64_t sound_frames;    /* length in sample frames: for AVI and QuickTime the track's length
                               as the container states it (ffprobe's duration); for Korvane and
                               Tolm the movie's length at the track's rate, as the sound source
                               counts it; for sound alone what the sound source delivers */
} GFILEINFO;

/* Opens a graphics input; null on failure, after "Error opening: <name>"
   (or "No files in the list file.") to the callback at level 2, and
   VEXLastError() says why ("cancelled", without a message, when the
   callback cancelled the open).
   name: a file, a list file or a numbered series. A name that names a
   file (without extension: a file of that name with some extension) is
   opened as given, whatever it looks like ("/data/s5/x.wav", "s24x.wav").
   Otherwise a trailing run of blank-separated words /S<n>,
   /E<n>, /L<n> (either case, n may be negative) after the name are
   switches: "clip.flc /S3 /E5" is clip.flc, frames 3 to 5 when first and
   last are both 0 (a range the caller passes wins); "clip.flc /L2" plays
   it twice, as a list. Switch-like text anywhere else is part of the name.
   flags: GFILE_TRUE_COLOUR, GFILE_ALPHA, GFILE_DEEP_TRUE_COLOUR. play_num/play_den: playback rate
   (0 in either: the source's); out_num/out_den: output rate (0 in either:
   the playback rate). crop_x, crop_y: signed origin of the output window
   in the source; crop_width, crop_height: its size (0: the source's).
   first, last: 1-based frame range (0: from the first, to the end; a
   first frame past the end selects the last frame).
   palette_mode, palette_period (0: 0x10000), first_index, palette_entries,
   palette_split, system_colours (0 built palettes keep the 20 system
   colours, 1 passed-through palettes too, 2 none): the palette options of
   8-bit output. promotion: 0 automatic (8-bit output of a deeper source
   with at least 10 frames is first smoothed at 24 bits), 1 always, other
   values never. palette_file: a graphics file whose colours give the
   palette, or null/empty. label: up to 31 characters for the progress
   text (null: "Processing"). callback: null, or receives errors at level
   2 and progress at level 1 (the first message of a step) and 0 (the
   rest); a true answer to a progress message cancels. The open itself
   says "Counting frames in <name> (<p>%)..." while it lists the frames
   of an AVI or QuickTime movie (p: the share of the file read; at the
   start, then at most five times a second) and "Opening <entry>..."
   before each entry of a list; cancelled there, it fails with the reason
   "cancelled". For GFileGet's messages see there.
   8-bit output of a source deeper than 8 bits (or with a palette mode, a
   palette period below 32000 or a palette file) gets shared palettes:
   GFileGet reads ahead through a second source (over the same input, or
   over the palette file, with the label "Analyzing colors in") and builds
   one palette per run of at most palette_period frames with
   GFileBestPalette, placing new colours so that the entries the previous
   frame shows change least. palette_mode 2 also ends a run where the
   input's own palette changes. With palette_split s the usable entries
   are palette_entries - s, and successive palettes alternate between the
   range at first_index and the one at first_index + s.
   The handle is the caller's until GFileClose. */
VEX_API GFILE *GFileOpen(const char *name, int32_t flags, uint32_t play_num, uint32_t play_den, uint32_t out_num, uint32_t out_den, int32_t crop_x, int32_t crop_y, int32_t crop_width, int32_t crop_height, int32_t first, int32_t last, int32_t palette_mode, int32_t palette_period, int32_t first_index, int32_t palette_entries, int32_t palette_split, int32_t system_colours, int32_t promotion, const char *palette_file, const char *label, VEXMessageCallback callback);
/* GFileOpen's options as named fields, for GFileOpenWith. Start from
   GFILEOPTIONS_INIT, which gives the values GFileOpen takes as its
   defaults (zeros and nulls, and 256 palette entries: GFileOpen itself
   reads a 0 there as one entry), and set what differs:
     GFILEOPTIONS o = GFILEOPTIONS_INIT;
     o.flags = GFILE_TRUE_COLOUR;
   Each field means what GFileOpen's argument of the same name means.
   Growing: `size` is sizeof(GFILEOPTIONS) as the caller was built (the
   macro sets it). New fields are only ever added at the end, and their
   default is 0. The library takes the fields that lie within `size`
   bytes and the defaults for the rest, so a program built with an older,
   shorter struct keeps working. A `size` below this first version's
   sizeof, or bytes past the fields the library knows that are not all
   zero (a newer field set to something this library cannot do), fail
   the open with the reason "invalid argument". */
typedef struct GFILEOPTIONS {
  uint32_t size;             /* sizeof(GFILEOPTIONS), as the caller was built */
  int32_t flags;             /* GFILE_TRUE_COLOUR, GFILE_ALPHA, GFILE_DEEP_TRUE_COLOUR */
  uint32_t play_num, play_den; /* playback rate (0 in either: the source's) */
  uint32_t out_num, out_den; /* output rate (0 in either: the playback rate) */
  int32_t crop_x, crop_y;    /* signed origin of the output window */
  int32_t crop_width, crop_height; /* its size (0: the source's) */
  int32_t first, last;       /* 1-based frame range (0: from the first, to the end) */
  int32_t palette_mode;
  int32_t palette_period;    /* 0: 0x10000 */
  int32_t first_index;
  int32_t palette_entries;   /* 256 in GFILEOPTIONS_INIT */
  int32_t palette_split;
  int32_t system_colours;
  int32_t promotion;
  const char *palette_file;  /* null or empty: none */
  const char *label;         /* null: "Processing" */
  VEXMessageCallback callback;
} GFILEOPTIONS;

#define GFILEOPTIONS_INIT \
  { sizeof(GFILEOPTIONS), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 0, 0 }

/* GFileOpen with its options in a struct; null options: GFILEOPTIONS_INIT.
   The same source, frames and messages as GFileOpen with those values. */
VEX_API GFILE *GFileOpenWith(const char *name, const GFILEOPTIONS *options);
/* Delivers the next output frame into `buffer` (allocated and cleared on
   the first call unless the caller set buffer and pitch: height x pitch
   bytes, with pitch at least 4 x width in true colour, width otherwise)
   and, in 8-bit mode, `palette`. Pixels outside the visible window keep
   what the buffer held. 1 when a frame was delivered; 0 when the callback
   asked to cancel (the reason "cancelled"), a buffer could not be
   allocated or the palette source (the palette file, or the input opened
   a second time) cannot be opened ("Error opening palette graphics
   file." to the callback). Call it at most `output_frames` times; past
   the end the last frame is delivered again.
   Progress to the callback: "<label> frame <n> of <m>..." at the start of
   each call (a true answer: 0, and the next call goes on); "Skipping
   frame <n>..." for each frame before the first of the range (FLIC,
   Korvane, Tolm); when a palette is due, while the palette source opens
   "Counting frames in <name> (<p>%)..." (as at GFileOpen), then for every
   frame it reads "Analyzing colors in frame <n> of <m> (<p>%)..." (p: the
   share of the output frames before frame n), then "Reducing the number
   of colors (<p>%)..." and "Minimizing palette changes..." (no question).
   A true answer to a skipping, counting or analysing message returns 0
   at once, with the reason "cancelled"; the source then delivers nothing more until
   GFileReset (closing it is always fine). A true answer to the reduction
   keeps the colours found so far and still delivers the frame. */
VEX_API int32_t GFileGet(GFILE *g);
/* Moves on by one output frame as GFileGet does (progress and cancel
   included; the same source frames are fetched, so fetched, delivered,
   at_end, frame_depth and frame_bytes tell what GFileGet would) but
   converts and delivers nothing: `buffer` and `palette` are left as they
   are, and movie pictures are decoded but not converted. For a caller
   that counts and sizes frames. A GFileGet after it delivers the current
   frame as usual; but skipped frames build no palettes, so on 8-bit
   output with built palettes (see GFileOpen) call GFileReset before going
   on with GFileGet. 1 when it moved on, 0 when the callback asked to
   cancel or the handle is null. */
VEX_API int32_t GFileSkip(GFILE *g);
/* Builds a palette for the next frames of `source` (a palette source:
   GFileGet opens one itself; a caller may open its own and drive it):
   reads up to the source's palette period of frames (fewer with
   palette_mode 2 when the input's palette changes; the frame where it
   changed waits for the next call), counts their colours at 6 bits per
   channel (plus black for the caller's output the source does not cover:
   origin_x/origin_y are the caller's signed crop origin, uncovered_width/
   uncovered_height its uncovered size), reduces them to the source's
   usable entries (first_index, palette_entries; the 20 system colours in
   entries 0-9 and 246-255 unless system_colours is 2) and places them into
   `palette` (768 bytes: 256 x red, green, blue; entries outside the usable
   range and those the histogram leaves unused keep their values). `previous`
   (width x height 8-bit pixels, rows `pitch` bytes apart, or null) is the
   frame shown last: entries it shows often change least. A source whose
   own palette can pass through (palette_mode 0, period of 32000 or more,
   8 bits or fewer) gives its palette entries in the usable range.
   Progress goes to the source's callback: "<label> frame <n> of <end>
   (<p>%)..." for each frame read, then "Reducing the number of colors
   (<p>%)...", "Minimizing palette changes..."; a true answer to the first
   stops and returns 0 (palette untouched), to the second keeps the
   colours found so far.
   Returns the frames the palette serves, 0x10000 when the source reached
   its end, 0 when cancelled or given a null source or palette. */
VEX_API int32_t GFileBestPalette(GFILE *source, uint8_t *palette, const uint8_t *previous, int32_t width, int32_t height, int32_t pitch, int32_t origin_x, int32_t origin_y, int32_t uncovered_width, int32_t uncovered_height);
/* Describes the open input's codings into *info from what its reader
   holds, without opening the input again: the pictures' codec, the
   colour matrix and range of a movie's first picture (a QuickTime movie
   whose first picture has not been decoded yet decodes it now), and the
   sound's codec, rate, width, channels and length (the first sound track
   of a movie; the track the sound source opens by default). 1 when
   described, 0 for a null handle or info. */
VEX_API int32_t GFileDescribe(const GFILE *g, GFILEINFO *info);
/* Back to the first frame of the range: counters, palettes and the output
   buffer cleared. */
VEX_API void GFileReset(GFILE *g);
/* An addition of this library: the first damage the source has found in
   its input, or null when none. A FLIC is checked at open (every counted
   frame must lie inside the file); the frames of every kind as GFileGet
   delivers them (a damaged frame is still delivered, as far as it could be
   decoded; a movie frame that does not decode repeats the one before). A
   read the system refused, and a file cut, grown or rewritten since the
   open, are damage too, named at the frame whose read met it. The text
   names the place ("frame 12 runs past the end of the file"; in a list,
   the entry's name first) and stays valid until GFileClose. */
VEX_API const char *GFileDamage(const GFILE *g);
/* 1 when the frame GFileGet delivered last could not be decoded in full
   (its source frame, or one fetched for it, is damaged: what GFileDamage
   names, or a fault found after it; a frame read after a failed read or a
   change of the file; any AVI or QuickTime frame after a failed read,
   since the demuxer reads ahead), else 0. A caller that keeps only what
   decoded stops before the first such frame. */
VEX_API int32_t GFileFrameDamaged(const GFILE *g);
/* Releases the source, its readers and its buffers (a buffer the caller set
   is the caller's); null is fine. Returns null. */
VEX_API GFILE *GFileClose(GFILE *g);

/* Reads the graphics-source switches of a command line, removing them. A
   null pointer skips that option (crop and frame range are taken out of the
   command line even then).
   /F playback rate and /A output rate, as exact fractions (default 0/0: the
   source's): a non-negative value is frames per second; -1500 <= value < 0
   is a frame duration in milliseconds and -value below -1500 one in units of
   10 us, both turned into frames per second (/F-100 gives 10/1, /F-3333
   100000/3333).
   /X /Y crop origin, /W /H crop size, /S /E first and last frame (0 each).
   /P palette analysis mode (0); /U palette period (0 and values above
   0x10000, negative ones included, give 0x10000, the default); /Q palette
   entries (0 and values above 256 give 256, the default); /I first palette
   index (default (256 - entries) / 2, lowered so that index + entries <=
   256, raised to 0); /$ palette split (0); /D system colours (0); /T 24-bit
   promotion (0); /& palette file name (empty; at most 127 characters are
   kept, so the buffer needs 128). */
VEX_API void GFileCommandLine(char *cmd, uint32_t *play_num, uint32_t *play_den, uint32_t *out_num, uint32_t *out_den, int32_t *crop_x, int32_t *crop_y, int32_t *crop_width, int32_t *crop_height, int32_t *first, int32_t *last, int32_t *palette_mode, int32_t *palette_period, int32_t *first_index, int32_t *palette_entries, int32_t *palette_split, int32_t *system_colours, int32_t *promotion, char *palette_file);

VEX_EXTERN_C_END

#endif

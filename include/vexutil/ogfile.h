/* Output writer: one handle that takes the frames a tool produces (8-bit
   palette indices with a palette, or 32-bit blue, green, red, x pixels,
   rows top first) and writes them as

     - a FLIC animation (".flc", or no extension; 8-bit frames only),
     - an AVI movie (".avi"; 8-bit frames with a colour table that follows
       every palette change, or 24 bits), uncompressed or through a video
       encoder the caller names, with an optional PCM sound track,
     - a numbered series of still images: ".bmp", ".jpg", ".png", ".tif"
       at the frames' depth, ".tga" always at 24 bits (8-bit frames are
       expanded through the palette), ".pcx" and ".gif" at 8 bits only.

   Extensions are compared without regard to case.

   Still-image series: the name loses its extension and gains the frame
   number with as many digits as the frame count needs (2-9 frames: 1
   digit, 10-99: 2, 100-999: 3, 1000-9999: 4, more: 5), then the extension
   again; frames are numbered from 0 ("shot.bmp" with 250 frames gives
   shot000.bmp to shot249.bmp). A frame count of 0 or 1 writes the name
   itself.

   Nothing half-written ever sits under an output's name: a FLIC or AVI
   file is written under a hidden temporary name in the same directory
   (".vx" and six random characters) and renamed to its own name by
   OGFileClose. Each still image of a series is saved under a temporary
   name of its own, and OGFileClose renames the whole series into place
   once it is complete; a file a still replaces is set aside until every
   still has its name, and put back when one cannot be named. OGFileDiscard
   removes the temporary files instead. So a failed or cancelled output
   never costs a file that was there before. A process killed outright
   leaves at most hidden temporary files behind.

   Threads: an OGFILE belongs to one thread at a time; distinct OGFILEs may
   be created, written and closed on distinct threads at once, each with
   temporary files of its own (two outputs of one final name: the last to
   close gives the name its file). OGFileEncoder may run on any thread.
   Two things go through the user interface, which is the process's (see
   vexutil/ui.h): the question before an existing file is replaced, and
   OGFILE_ASK_FOR_CODEC. A program that creates outputs on several threads
   passes OGFILE_NO_OVERWRITE_QUESTION (and checks for existing files
   itself, if it cares) and names its codec, or asks its questions from
   the thread that drives its windows. */
#ifndef VEXUTIL_OGFILE_H
#define VEXUTIL_OGFILE_H

#include "vexutil/api.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"

VEX_EXTERN_C_BEGIN

/* Output kinds (field `kind`); 1-15 are still images. */
#define OGFILE_FLIC 0
#define OGFILE_BMP 1
#define OGFILE_JPEG 2
#define OGFILE_TGA 3
#define OGFILE_TIF 4
#define OGFILE_PCX 5
#define OGFILE_GIF 6
#define OGFILE_PNG 7
#define OGFILE_AVI 0x80

/* OGFileCreate flags. */
#define OGFILE_ASK_IN_DIALOG 1 /* ask about overwriting in the dialog window; no message for an unsupported type */
#define OGFILE_NO_OVERWRITE_QUESTION 2 /* replace an existing output without asking */

/* The codec argument of OGFileCreate that asks the user to pick an encoder
   from a list (in the GTK front; elsewhere the create fails). */
#define OGFILE_ASK_FOR_CODEC "?"

/* The still-image descriptor kept inside the record: rows bottom-up,
   `pitch` bytes apart, a colour table of 256 blue, green, red, 0 entries. */
typedef struct OGFILEIMAGE {
  uint8_t *pixels;
  int32_t width, height, bits;
  int32_t pitch;
  uint32_t size;       /* bytes of pixels */
  uint8_t *colors;
  int32_t colors_used; /* 256 once an 8-bit frame put its palette */
  int32_t flags;       /* cleared before each save */
  int32_t reserved[2];
} OGFILEIMAGE;

struct OGFILESTATE; /* the library's own working state */

/* The record behind an OGFILE handle. Callers read the fields up to
   `wave_format`; the field order and widths are part of the interface. */
typedef struct OGFILE {
  char name[128];          /* the output name; for stills the name template
                              with its frame-number format ("shot%03i.bmp") */
  char first_still[128];   /* stills: the file part of the first image */
  char display_name[256];  /* the output name; stills: "first to latest" */
  int32_t true_colour;     /* 0: 8-bit frames, 1: 32-bit frames */
  int32_t width, height, frame_count;
  uint32_t rate, scale;    /* frames per second = rate / scale */
  int32_t source_pitch;    /* pixels between the starts of two frame rows */
  int32_t next_frame;      /* frames put so far */
  int32_t kind;            /* OGFILE_FLIC ... OGFILE_AVI */
  int32_t depth;           /* bits per pixel of the output: 8 or 24 */
  uint32_t bytes_written;  /* FLIC: file size; AVI: sum of the samples; stills: sum of the files */
  int32_t error;           /* 1 once any write failed; writing goes on */
  int32_t compressed;      /* AVI: 1 when frames go through an encoder */
  VEXMessageCallback callback;
  VEXOFLIC *flic;
  /* Still images. */
  OGFILEIMAGE image;
  int32_t image_pitch;     /* negative: the image is stored bottom-up */
  uint8_t *image_last_row; /* where the frame's top row goes */
  /* AVI. */
  void *avi_file;
  void *avi_video;         /* the stream frames are written to (the encoder's when compressed) */
  void *avi_uncompressed;  /* the plain stream behind a compressed one, else null */
  int32_t avi_pitch;       /* negative, as for stills */
  uint8_t *avi_last_row;
  uint8_t *avi_colors;     /* inside avi_bitmap: the colour table (8-bit) */
  uint8_t *avi_bitmap;     /* 40-byte header, [colour table], rows */
  /* AVI sound, bytes unless said otherwise. */
  void *avi_audio;
  uint32_t sound_total;    /* what the movie's length takes */
  uint32_t sound_allowed;  /* still allowed */
  uint32_t sound_written;
  uint32_t sound_writes;   /* OGFilePutSound calls */
  uint32_t sound_preroll;
  uint32_t sound_position; /* next sample frame */
  uint8_t wave_format[18]; /* tag 1, channels, rate, bytes/s, block align, bits, 0 */
  /* The library's working state: callers must not touch it. */
  struct OGFILESTATE *state;
} OGFILE;

/* Creates an output; null on failure, after a message to the callback at
   level 2 ("Error creating the output flic.", "Error creating the output
   AVI file.", "Unsupported output file type or color depth.", "Out of
   memory.") or, when the user refused to replace an existing file, that
   file's name at level 3 (the FLIC name with its ".flc" added, the first
   still of a series); VEXLastError() says more.
   codec: AVI only: null or "" writes uncompressed frames; a video encoder's
   name (vexinfo --codecs lists them) compresses; OGFILE_ASK_FOR_CODEC lets
   the user pick from a list in a window (over the running dialog; Cancel
   fails the create, and so does a front that shows no windows). An encoder
   that does not exist, or cannot take the frames, fails the create.
   rate / scale: frames per second; frame_count: frames to come (the still
   names' digits and the sound track's length follow from it).
   source_pitch: pixels between frame rows (at least width).
   Before a FLIC, AVI or the first still image replaces an existing file,
   overwrite() asks (see the flags). */
VEX_API OGFILE *OGFileCreate(const char *codec, const char *name, int32_t true_colour, int32_t frame_count, uint32_t rate, uint32_t scale, int32_t width, int32_t height, int32_t source_pitch, VEXMessageCallback callback, int32_t flags);
/* Writes the next frame: pixels (height rows of source_pitch pixels) and,
   for 8-bit frames, a palette of 256 red, green, blue triplets. A failed
   write sets `error` and the writer goes on. */
VEX_API void OGFilePut(OGFILE *o, const uint8_t *pixels, const uint8_t *palette);
/* AVI: how many sound bytes to hand to OGFilePutSound before the next
   frame, for PCM of rate Hz, 8 or 16 bits, 1 or 2 channels (the same on
   every call). The first call makes the sound track, and must come before
   the first OGFilePut; its answer includes a pre-roll of three quarters
   of a second. The answers add up to exactly the movie's length. 0 for
   other kinds, or when the track cannot be made ("Error creating the
   output sound track." at level 2). */
VEX_API uint32_t OGFilePutSoundAmount(OGFILE *o, uint32_t rate, uint32_t bits, uint32_t channels);
/* AVI: appends bytes of PCM (whole sample frames) to the sound track. */
VEX_API void OGFilePutSound(OGFILE *o, const void *pcm, uint32_t bytes);
/* Finishes the output, gives it its name (a still series: every still
   its own) and frees the handle (null is fine). The output's size in
   bytes: the FLIC or AVI file's, or the sum of the still images'; 0 when
   the output could not be finished or named, or a frame, a sound write or
   a still of the series failed: the temporary files are removed then, the
   files of the output's names are as they were, and VEXLastError says
   what failed first (the system's words for a failed write). */
VEX_API uint32_t OGFileClose(OGFILE *o);
/* Abandons the output: its temporary files are removed, and the files
   under the output's names (a FLIC, an AVI, the stills of a series) stay
   as they were. Frees the handle; null is fine. */
VEX_API void OGFileDiscard(OGFILE *o);
/* The video encoders this machine has that can write into an AVI file, in
   a fixed order: 1 with entry `index` (from 0) in *name and *description
   (texts that live as long as the process; either pointer may be null),
   0 past the last. */
VEX_API int32_t OGFileEncoder(int32_t index, const char **name, const char **description);

VEX_EXTERN_C_END

#endif

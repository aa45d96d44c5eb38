/* Compressed-sound chunks: the writer reads PCM from a sound source and
   writes it to a VEXFILE as self-contained sound chunks, one per CSFilePut
   call; the scan (at the end) reads a stream of chunks back and tells its
   chunks and coding.

   Every chunk is a multiple of 4 bytes long (so chunks written one after
   another stay 4-byte aligned relative to the first) and starts with its
   size in bytes (32-bit little-endian, counting the size word itself and the
   zero padding at the end). Three codings:

   - raw: the PCM follows the size word (the stream then carries no PCM
     count; the size includes up to 3 padding bytes);
   - Huffman-coded deltas: a word with the number of PCM bytes, then a bit
     stream (least significant bit first): the variant in 3 bits (1 8-bit
     mono, 3 8-bit stereo, 5 16-bit mono, 7 16-bit stereo), one 8-bit Huffman
     table per byte of a sample frame in the frame's order (left low, left
     high, right low, right high; see vexutil/huff.h), the first sample
     frame as plain bytes (its last byte first), then the codes of every
     later frame's sample deltas, each channel predicted from its own last
     decoded sample. Every chunk decodes on its own. Qualities 0-9 are
     lossless; from 10 on, the tens digit picks how many low bits of a delta
     are dropped (8-bit: 1 to 5, 16-bit: 2 to 11) and the threshold that
     bounds the error of a decoded sample (16-bit quality 45: the low 6
     bits, an error of at most 96); a sample that would wrap round the range
     keeps its exact delta;
   - transform: a word with the number of PCM bytes, then coded sound blocks
     of the library's perceptual transform codec (16-bit output of 16000 Hz
     or more). The codec carries its window overlap from chunk to chunk, so
     the chunks of one stream must be decoded in order. A chunk holds whole
     windows; lead-in and padding inside a window are silence.

   PCM: 8-bit samples unsigned (128 = silence), 16-bit signed little-endian,
   stereo interleaved left, right.

   Threads: a CSFILE, and a CSSCAN, belongs to one thread at a time;
   distinct ones may work on distinct threads at once (their coders and
   the transform codec's working state are their own). Several scans may
   read the same bytes of CSFileScanMemory at once. The output VEXFILE of
   a CSFILE is used by CSFilePut on the calling thread: it must not be in
   use elsewhere meanwhile. */
#ifndef VEXUTIL_CSFILE_H
#define VEXUTIL_CSFILE_H

#include "vexutil/api.h"
#include "vexutil/file.h"
#include "vexutil/huff.h"
#include "vexutil/util.h"

VEX_EXTERN_C_BEGIN

struct SFILE;    /* sound source */
struct AUDIOENC; /* transform encoder (internal) */

/* The record behind a CSFILE handle. Field order is part of the interface;
   callers read the counters at its end. Byte counts are in the output
   format. */
typedef struct CSFILE {
  struct SFILE *source;      /* the sound source; null while the writer reads an internal source */
  struct AUDIOENC *encoder;  /* transform encoder, or null when the Huffman variants are used */
  uint32_t quality;          /* compression % 100 */
  int32_t raw;               /* 1: chunks carry plain PCM */
  uint32_t silence;          /* fill pattern: 0x80808080 for 8-bit output, 0 for 16-bit */
  uint32_t lead_in_left;     /* lead-in bytes still to deliver */
  uint32_t lead_in_bytes;    /* lead-in length */
  uint32_t pass_left;        /* bytes left in the current pass */
  uint32_t pass_bytes;       /* pass length */
  uint32_t delta_mask;       /* Huffman variants: kept bits of a delta */
  uint32_t threshold;        /* Huffman variants: largest error a masked delta may cause */
  int32_t fill_repeat;       /* 1: a source that runs out before the pass ends is read again */
  int32_t repeat_forever;    /* 1: a finished pass starts again with the lead-in */
  VEXFILE *out;              /* set by CSFileSetOutput */
  HUFF *huff[4];             /* 8-bit encoders of the Huffman variants, else null */
  uint32_t last_pcm_bytes;   /* PCM bytes the last chunk stands for */
  uint32_t last_chunk_bytes; /* size of the last chunk */
  uint32_t total_pcm_bytes;  /* PCM bytes of every chunk written (modulo 2^32) */
  uint32_t total_chunk_bytes;/* bytes of every chunk written (modulo 2^32) */
} CSFILE;

/* Opens the sound input (arguments 7-15 go to the sound source: output rate,
   bits and channels, 0 for the source's own; start and end, positive in
   milliseconds, negative in frames counted from 1; track; raw format: 0 for a
   file with a header, else rate << 3 | 2 for 16-bit | 1 for stereo, in which
   case the rate argument is replaced by raw_format >> 3 and bits and channels
   come from the raw format; raw header bytes; message callback) and prepares
   the coder.
   compression = 100 * m + q: m >= 1 asks for the transform codec, which is
   used for 16-bit output of 16000 Hz or more; otherwise, or with a raw format
   of 4 or more (every raw input is stored raw), the Huffman variants or raw
   chunks. q (0-99) is the quality (negative compression counts as 0).
   fill_repeat: a source that ends before the pass does is read again from its
   start (without it the pass is padded with silence). repeat_forever: when a pass ends, the lead-in and the pass start
   again. lead_in_ms of silence come first; pass_ms is the length of a pass
   (lead-in included), 0 for the source's length.
   Null when the record cannot be allocated or the source cannot be opened
   (the source tells the callback why; VEXLastError() says it too). */
VEX_API CSFILE *CSFileOpen(const char *name, int32_t compression, int32_t fill_repeat, int32_t repeat_forever, int32_t lead_in_ms, int32_t pass_ms, int32_t rate, int32_t bits, int32_t channels, int32_t start, int32_t end, int32_t track, int32_t raw_format, int32_t raw_header, VEXMessageCallback callback);

/* Sets the file the chunks go to (the caller keeps it open and owns it). */
VEX_API void CSFileSetOutput(CSFILE *cs, VEXFILE *out);

/* Writes one chunk standing for about `bytes` PCM bytes: the count is rounded
   down to whole output frames and, without repeat_forever, cut to what is
   left of the pass (at most 1 GiB). Raw and Huffman chunks hold at most that
   many bytes; a transform chunk holds whole codec windows until they account
   for the count, so it usually stands for more. Writes nothing for a count of
   0 or when the source delivers nothing; last_pcm_bytes and last_chunk_bytes
   then keep the values of the chunk before. Needs an output (nothing is
   written without one). */
VEX_API void CSFilePut(CSFILE *cs, uint32_t bytes);

/* Closes the source, frees the coders and the record (null is fine). The
   output file stays open. */
VEX_API void CSFileClose(CSFILE *cs);

/* Reads the compressed-sound switches of a command line: compression <- /L
   (default 104: transform codec, quality 4), p_flag <- 1 when /P is given
   (its meaning is the caller's), the rest as the sound source's switches
   (/R rate, /B bits, /C channels, /S start, /E end, /T track, /Y raw format
   with /D rate, /K header bytes; see SFileCommandLine). Every out-pointer
   may be null. */
VEX_API void CSFileCommandline(char *cmd, int32_t *compression, int32_t *p_flag, int32_t *rate, int32_t *bits, int32_t *channels, int32_t *start, int32_t *end, int32_t *track, int32_t *raw_format, int32_t *raw_header);

/* Reading a chunk stream back. A stream on its own (a ".vcs" file) is
   the chunks one after another and nothing else, so what no chunk says
   cannot be read from it: never the sample rate, and for raw chunks
   neither the width nor the channels, nor even that they are raw (raw PCM
   looks like anything).
   The scan walks the chunks from the start while each is whole: a size
   word of at least 8, a multiple of 4 and no larger than what is left.
   Whatever follows the last whole chunk is trailing. The coding is
   decided for the stream as a whole:
   - raw, when the caller says so (raw nonzero): each chunk stands for its
     size less the size word, padding included;
   - transform, when the first chunk's body is a run of at least one coded
     block of the transform codec that ends within the chunk's padding and
     decodes to its PCM count, give or take one window; tried at `rate`
     first (0: not known), then at 8000, 11025, 16000, 22050, 32000, 44100
     and 48000 Hz, mono and stereo, the first that fits telling the
     channels. Blocks of mono at twice a rate are those of stereo at the
     rate (22050 Hz mono and 11025 Hz stereo code alike; so do 32000 mono
     and 16000 stereo, and 44100 or 48000 mono and 22050 or 32000 stereo):
     without the rate, such a stream's decoded sound decides (one signal,
     or two interleaved); sound that shows neither, as white noise or
     silence, is taken as stereo;
   - Huffman-coded deltas, when every chunk carries the same variant (1, 3,
     5 or 7) and a nonzero PCM count of whole sample frames of it;
   - unknown otherwise. */
#define CSSCAN_UNKNOWN 0   /* neither transform blocks nor Huffman-coded deltas: raw PCM, or damage */
#define CSSCAN_HUFFMAN 1
#define CSSCAN_TRANSFORM 2
#define CSSCAN_RAW 3       /* as the caller said */

struct CSSCANSTATE; /* the library's own working state */

/* What the scan found; callers read every field but `state`. Field order
   is part of the interface. */
typedef struct CSSCAN {
  int32_t coding;       /* CSSCAN_UNKNOWN ... CSSCAN_RAW */
  uint32_t channels;    /* 1 or 2 when the coding tells (Huffman: the variant's; transform:
                           the count the blocks decode at); else 0 */
  uint32_t bits;        /* 8 or 16 when the coding tells (transform: always 16); else 0 */
  uint32_t variant;     /* Huffman: the variant of every chunk; else 0 */
  uint64_t chunk_count; /* whole chunks from the start on; 0 when the stream does not start with one */
  uint64_t chunk_bytes; /* their bytes, frame words and padding included */
  uint64_t pcm_bytes;   /* the PCM they stand for: the sum of their counts (raw: of their sizes less 4) */
  uint64_t trailing;    /* bytes after the last whole chunk */
  /* The library's working state: callers must not touch it. */
  struct CSSCANSTATE *state;
} CSSCAN;

/* One chunk as CSFileScanNext tells it. */
typedef struct CSCHUNK {
  uint64_t offset;    /* of its size word from the start of the stream */
  uint32_t size;      /* its size word: bytes of the whole chunk, padding included */
  uint32_t pcm_bytes; /* the PCM it stands for: its count word (raw: size - 4, padding included) */
  uint32_t variant;   /* Huffman: its variant; else 0 */
} CSCHUNK;

/* Scans the chunk stream in the named file (read, not loaded whole: the
   memory used does not grow with the file). raw: nonzero when the chunks
   are known to hold raw PCM. rate: the stream's sample rate in Hz when
   known, else 0. Null when the file cannot be opened or read, or memory
   runs out; VEXLastError() says why. A file that does not start with a
   whole chunk is no failure: the record says chunk_count 0. The handle is
   the caller's until CSFileScanClose. */
VEX_API CSSCAN *CSFileScan(const char *name, int32_t raw, uint32_t rate);
/* The same over `size` bytes in memory, which are not copied: they must
   stay as they are until CSFileScanClose. */
VEX_API CSSCAN *CSFileScanMemory(const void *bytes, size_t size, int32_t raw, uint32_t rate);
/* The chunks in order, one per call: fills *chunk and returns 1, or returns
   0 after the last of the chunk_count (the call after that starts again at
   the first). The stream is read again for them: a file that changed since
   the scan may give fewer (0 with the reason in VEXLastError()). */
VEX_API int32_t CSFileScanNext(CSSCAN *scan, CSCHUNK *chunk);
/* Frees the record and closes the file (null is fine). */
VEX_API void CSFileScanClose(CSSCAN *scan);

VEX_EXTERN_C_END

#endif

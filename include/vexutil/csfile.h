/* Compressed-sound writer: reads PCM from a sound source and writes it to a
   VEXFILE as self-contained sound chunks, one per CSFilePut call.

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
   stereo interleaved left, right. */
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

VEX_EXTERN_C_END

#endif

/* Two-pass Huffman encoder of 8-bit or 16-bit symbols writing to a VEXFILE.
   Per block: HuffInitStats, HuffAddStat for every symbol, HuffStartEncode
   (builds the code and writes its table), then HuffEncode for the same
   symbols in the same order. Only symbols counted for the current table may
   be encoded.

   A table is one bit 0 (no table) or one bit 1 followed, in 16-bit mode, by
   the tables of the low-byte and high-byte encoders and three 16-bit escape
   values, then the tree in pre-order (1 = internal node, its 0-branch
   subtree, then its 1-branch subtree; 0 = leaf followed by its symbol: 8
   bits, or in 16-bit mode the low byte coded with the low-byte table and the
   high byte with the high-byte table), then one closing bit 0. A tree of a
   single leaf codes its symbol with no bits. Codes are written first bit
   (nearest the root) first. In 16-bit mode a coded escape i stands for the
   i-th most recent symbol; the recent symbols shift after every symbol that
   differs from the most recent one.

   Threads: a HUFF belongs to one thread at a time (with its output file);
   distinct encoders may work on distinct threads at once. HuffStartEncode
   builds its tree in a work area of the calling thread.

   Korvane movies store their trees in this layout: an 8-bit table is one of
   their byte trees and a 16-bit table one of their video trees (restart the
   recent symbols with HuffInitLasts at the start of each frame, in both
   passes, to code one). */
#ifndef VEXUTIL_HUFF_H
#define VEXUTIL_HUFF_H

#include "vexutil/api.h"
#include "vexutil/file.h"

VEX_EXTERN_C_BEGIN

typedef struct HUFF HUFF;

/* Low byte nonzero: 8-bit symbols; zero: 16-bit symbols (the encoder then
   owns two 8-bit encoders for the bytes of its table). The handle is the
   caller's until HuffClose. Null when out of memory; nothing is left
   allocated then. Every call below except HuffSetOutput and HuffClose
   needs a handle from HuffOpen (null is not checked). */
VEX_API HUFF *HuffOpen(uint32_t eight_bit);
/* Where tables and codes go. The caller keeps the file open and owns it;
   without an output (null, or a closed file) the encoder still counts and
   builds its codes but writes nothing. Null handle: ignored. */
VEX_API void HuffSetOutput(HUFF *h, VEXFILE *out);
/* Frees the encoder (never the output file); null is ignored. */
VEX_API void HuffClose(HUFF *h);
/* Forgets every count and the recent-symbol context: the start of a block. */
VEX_API void HuffInitStats(HUFF *h);
/* Restarts the recent-symbol context (16-bit mode) and nothing else. */
VEX_API void HuffInitLasts(HUFF *h);
/* Counts one symbol: its low 16 bits (low 8 bits in 8-bit mode). */
VEX_API void HuffAddStat(HUFF *h, uint32_t symbol);
/* -1 failure (a code of 31 bits or more: the stream is unusable from here
   on, and the encoder fails every later table of two or more symbols);
   12 no statistics; 20 one distinct symbol; else 16 + 8 * internal nodes. */
VEX_API int32_t HuffStartEncode(HUFF *h);
/* Writes the code of one symbol (masked as in HuffAddStat). A symbol that
   was not counted for the current table has no code: nothing valid is
   written for it. */
VEX_API void HuffEncode(HUFF *h, uint32_t symbol);

VEX_EXTERN_C_END

#endif

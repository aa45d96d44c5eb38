/* The maker's own video formats: the Tolm frame decoder.

   A Tolm frame is coded plane by plane (luma, two chroma planes, an
   optional alpha plane) in 8x8 blocks of ten kinds: skip, scaled 16x16,
   motion copy, run fill, residue, intra and inter transform, solid fill,
   two-colour pattern and raw. A block's parameters come from nine
   entropy-coded bundles per plane.

   Threads: the decoder keeps nothing between calls; calls with buffers of
   their own may run on any number of threads at once. */
#ifndef VEXUTIL_FORMATS_H
#define VEXUTIL_FORMATS_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

/* Decoder flags (argument 13 of ExpandTolm). */
#define VEX_TOLM_DECODE_SIGNED_COLOURS 0x8000u /* files "TLMf", "TLMg", "TLMh" */
#define VEX_TOLM_DECODE_ALPHA 0x100000u        /* decode the alpha plane */
/* File video flags (argument 14). */
#define VEX_TOLM_VIDEO_ALPHA 0x100000u    /* the frame data holds an alpha plane */
#define VEX_TOLM_VIDEO_NO_CHROMA 0x20000u /* luma (and alpha) only */

/* Bits of the result of ExpandTolm: 0 means the frame decoded cleanly; any
   other value names what the data got wrong and how the decoder coped. */
#define VEX_TOLM_FAULT_DATA_END 0x01u    /* bits read past the end of a plane's data (read as 0) */
#define VEX_TOLM_FAULT_CHUNK 0x02u       /* a chunk longer than its bundle, or repeats past its end (cut) */
#define VEX_TOLM_FAULT_UNDERRUN 0x04u    /* a block took from an empty bundle (got 0) */
#define VEX_TOLM_FAULT_RUN 0x08u         /* runs past pixel 63 of a run block (cut) */
#define VEX_TOLM_FAULT_MOTION 0x10u      /* a reference block outside the plane (moved inside) */
#define VEX_TOLM_FAULT_LAYOUT 0x20u      /* a plane size word points outside the data (planes skipped) */
#define VEX_TOLM_FAULT_GEOMETRY 0x40u    /* sizes that do not fit W x H planes (nothing decoded) */

/* Byte sizes of the nine bundle buffers ExpandTolm needs for padded luma
   width W (a multiple of 16), written to sizes[0..8]. */
VEX_API void ExpandBundleSizes(uint32_t *sizes, uint32_t width);

/* Decodes one frame into target (luma W x H, then two chroma planes of
   W/2 x H/2) and, when asked, target_alpha (W x H), with reference and
   reference_alpha holding the previous frame. block_map gets a 1 for every
   16x16 macroblock that changed; the caller clears it. bundles points to nine
   buffers of the sizes ExpandBundleSizes gives. The data carries no length
   of its own: it must hold the whole frame as its size words describe it, followed by
   8 readable bytes (the bit reader looks ahead).
   Every buffer is the caller's; the decoder allocates nothing and keeps no
   pointer after it returns. key_frame is ignored (the data itself says
   which blocks need no reference). Returns 0 or VEX_TOLM_FAULT_ bits; with
   VEX_TOLM_FAULT_GEOMETRY nothing was written to target. */
VEX_API uint32_t ExpandTolm(uint8_t *target, const uint8_t *reference, uint8_t *target_alpha, const uint8_t *reference_alpha, uint8_t *block_map, uint32_t width, uint32_t height, uint32_t padded_width, uint32_t padded_height, const void *data, uint32_t key_frame, void *const *bundles, uint32_t decoder_flags, uint32_t video_flags);

VEX_EXTERN_C_END

#endif

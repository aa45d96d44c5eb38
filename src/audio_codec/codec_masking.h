// Perceptual model of the encoder: masking threshold per critical band and
// the search for each band's quantiser step.
#pragma once

#include <cstdint>

namespace vex::audio_codec {

// x: the n scaled transform values of a window with x[0] = x[1] = 1.
// Writes the allowed noise energy of each band (already multiplied by the
// band's normaliser) to threshold[0 .. bands-1].
void masking_threshold(const float *x, uint32_t n, uint32_t bands, const uint32_t *edge, const float *normaliser,
                       float *threshold);

// 1 / sum over the bands j of s(j - b), for each band b.
void band_normalisers(uint32_t bands, float *normaliser);

// The search's start value for a band: (0.5 A[b])^((quality + 1) / 4),
// limited to 1 .. 2^44.
float start_step(uint32_t band, uint32_t quality);

// The largest step whose quantisation noise over coef[0 .. count-1] stays
// under the threshold, searched upward from start by doubling and halving
// increments.
float search_step(const float *coef, uint32_t count, float threshold, float start);

// Quantises with step s, rounding halves away from zero, limited to
// -32767 .. 32767.
int16_t quantise(float x, float s);

} // namespace vex::audio_codec

#include "audio_codec/codec_masking.h"

#include <cmath>

#include "audio_codec/codec_tables.h"

namespace vex::audio_codec {
namespace {

constexpr float kMaxStartStep = 17592186044416.0f; // 2^44
constexpr int kMaxRounds = 100000;

float hearing_threshold(uint32_t band) {
  return static_cast<float>(std::pow(10.0, kHearingDb[band] / 10.0));
}

// Spectral flatness as a tonality estimate: 0 for noise-like spectra, 1 for
// tonal ones (flatness of -60 dB or below, or any empty bin).
float tonality(const float *power, uint32_t bins) {
  const float inv = 1.0f / static_cast<float>(bins);
  float sum = 0.0f;
  float geometric = 1.0f;
  for (uint32_t k = 0; k < bins; ++k) {
    sum += power[k];
    geometric *= std::pow(power[k], inv);
  }
  const float arithmetic = sum * inv;
  const float flatness_db = 10.0f * std::log10(geometric / arithmetic);
  const float alpha = 5.0f * flatness_db / -60.0f;
  return alpha < 1.0f ? alpha : 1.0f;
}

float rounded_magnitude(float x, float s) { return std::floor(std::fabs(x) / s + 0.5f); }

float band_noise(const float *coef, uint32_t count, float s) {
  float d = 0.0f;
  for (uint32_t i = 0; i < count; ++i) {
    const float q = std::copysign(rounded_magnitude(coef[i], s), coef[i]);
    const float e = coef[i] - q * s;
    d += e * e;
  }
  return d;
}

} // namespace

void band_normalisers(uint32_t bands, float *normaliser) {
  for (uint32_t b = 0; b < bands; ++b) {
    float sum = 0.0f;
    for (uint32_t j = 0; j < bands; ++j)
      sum += spread(static_cast<int>(j) - static_cast<int>(b));
    normaliser[b] = 1.0f / sum;
  }
}

void masking_threshold(const float *x, uint32_t n, uint32_t bands, const uint32_t *edge, const float *normaliser,
                       float *threshold) {
  const uint32_t bins = n / 2;
  float power[kMaxBins];
  for (uint32_t k = 0; k < bins; ++k)
    power[k] = x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1];
  float energy[kMaxBands];
  for (uint32_t b = 0; b < bands; ++b) {
    energy[b] = 0.0f;
    for (uint32_t k = edge[b]; k < edge[b + 1]; ++k)
      energy[b] += power[k];
  }
  const float alpha = tonality(power, bins);
  for (uint32_t j = 0; j < bands; ++j) {
    float spread_energy = 0.0f;
    for (uint32_t i = 0; i < bands; ++i)
      spread_energy += spread(static_cast<int>(j) - static_cast<int>(i)) * energy[i];
    const float offset_db = (static_cast<float>(j) + 14.5f) * alpha + (1.0f - alpha) * 5.5f;
    const float level_db = 10.0f * std::log10(spread_energy);
    const float t = level_db < offset_db ? 0.0f : std::pow(10.0f, (level_db - offset_db) * 0.1f);
    threshold[j] = t * normaliser[j];
  }
}

float start_step(uint32_t band, uint32_t quality) {
  const double z = std::pow(0.5 * hearing_threshold(band), (quality + 1) * 0.25);
  if (!(z >= 0.0) || z > kMaxStartStep)
    return kMaxStartStep;
  return z < 1.0 ? 1.0f : static_cast<float>(z);
}

float search_step(const float *coef, uint32_t count, float threshold, float start) {
  float peak = 0.0f;
  for (uint32_t i = 0; i < count; ++i)
    peak = std::fabs(coef[i]) > peak ? std::fabs(coef[i]) : peak;
  float step = start;
  float increment = start;
  const float min_increment = 0.1f * start > 1.0f ? 0.1f * start : 1.0f;
  // Each success grows the step by at least half the minimum increment, so
  // the loop ends; the cap only bounds the time of a pathological band.
  for (int rounds = 0; step <= peak && rounds < kMaxRounds; ++rounds) {
    const float candidate = step + increment;
    if (band_noise(coef, count, candidate) < threshold) {
      step = candidate;
      increment *= 2.0f;
    } else if (increment < min_increment) {
      break;
    } else {
      increment *= 0.5f;
    }
  }
  return step;
}

int16_t quantise(float x, float s) {
  float m = rounded_magnitude(x, s);
  if (!(m < 32767.0f))
    m = 32767.0f;
  const auto q = static_cast<int16_t>(m);
  return x < 0 ? static_cast<int16_t>(-q) : q;
}

} // namespace vex::audio_codec

// The PCM every audio benchmark codes: speech from espeak-ng over quiet
// pink noise, repeated to ten seconds.
#pragma once

#include <cstdint>

#include "testkit/audio_codec/test_signals.h"

const vex::testkit::Pcm &bench_pcm(uint32_t rate, uint32_t channels);

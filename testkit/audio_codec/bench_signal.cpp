#include "testkit/audio_codec/bench_signal.h"

#include <map>
#include <utility>

const vex::testkit::Pcm &bench_pcm(uint32_t rate, uint32_t channels) {
  static std::map<std::pair<uint32_t, uint32_t>, vex::testkit::Pcm> cache;
  auto &pcm = cache[{rate, channels}];
  if (pcm.empty()) {
    const auto speech = vex::testkit::espeak_speech(
        "Benchmarks measure the speed of the sound coder on ten seconds of speech and noise.", rate, channels);
    const auto noise = vex::testkit::pink_noise(channels, rate * 10, 2000, 5);
    pcm.resize(noise.size());
    for (size_t i = 0; i < pcm.size(); ++i)
      pcm[i] = static_cast<int16_t>(speech[i % speech.size()] / 2 + noise[i]);
  }
  return pcm;
}

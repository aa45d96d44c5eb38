// A pass over every kind of input and output, for the tests of long runs
// and of threads: every sample kind (testkit/gfile/kind_samples.h, and
// beside them Korvane movies with a delta-coded and a transform sound
// track, a Tolm movie with a coded track, a FLC cut in half and a name
// that does not exist) read to its last frame and sound sample and back
// to the start once, and every kind of output written through the public
// writers. What a pass saw and wrote goes into a map by label, as bytes or
// as the reason a step failed, so that two passes can be compared byte
// for byte.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "testkit/gfile/kind_samples.h"
#include "testkit/util/temp_dir.h"

namespace vex::testkit {

// By label: "pictures m.avi 0" (the name and the open flags), "sound
// m.avi", "write o.flc" (the writer's answer), "file o.flc" (the bytes of
// each file an output left). A failed step reads "failed: <step>: <reason>".
using PassResults = std::map<std::string, std::string>;

// Writes the samples into dir; the names of the inputs (those of
// write_kind_samples, then d.kvn, x.kvn, s.tlm, cut.flc, missing.flc).
std::vector<std::string> write_every_kind(const TempDir &dir);

// Reads every input at each of the flags (GFileOpenWith's), and its sound.
// Pictures: the type, size and frame count, every frame's pixels (and
// palette at 8 bits), "damage: <text>" when the source says so, and
// "reset: another first frame" when GFileReset does not give the first
// frame again. Sound: the format and every byte, "damage: <text>", and
// "reset: other sound" likewise.
void read_every_kind(const TempDir &dir, const std::vector<std::string> &inputs, const std::vector<int32_t> &flags,
                     PassResults &out);

// The outputs: "o.flc" (an 8-bit FLIC), "o.avi" (true colour, with the
// input's sound at 22050 Hz 16-bit mono), "mjpeg" (true colour through the
// "mjpeg" encoder when this machine has it, with the sound at its own
// rate), "mjpeg discarded" (the same, discarded after its frames), "o.bmp",
// "o.jpg", "o.png", "o.tif", "o.tga", "o.pcx", "o.gif" (8-bit series of a
// Korvane movie's 4 frames), "o.wav" (the AVI's sound at 22050 Hz 16-bit
// stereo), "h.vcs" and "t.vcs" (chunk streams of the AVI's sound, Huffman
// deltas at its own rate and the transform codec at 22050 Hz 16-bit),
// "s.vcs" and "u.vcs" (the same codings of the silent WAV at 22050 Hz
// 16-bit, in four puts of 2000 bytes); each chunk stream scanned and read
// back, "failed: ..." when the chunks or PCM bytes do not match what was
// written.
const std::vector<std::string> &output_kinds();

// Writes an output from the inputs in `in` into `out`: "write <kind>" gets
// the writer's answer ("written <bytes>", "discarded") and "file <name>"
// the bytes of every file then in `out`, which is left empty.
void write_output(const TempDir &in, const std::string &kind, const TempDir &out, PassResults &r);

} // namespace vex::testkit

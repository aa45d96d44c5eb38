// The decode half of the ffmpeg and ffprobe command-line tools, run in this
// process: FFmpeg's own demuxers, decoders and filters, set up exactly as the
// tool sets them up for the same options (decoder options, the filter chain
// buffer -> [-vf] -> format -> sink, the sound chain abuffer -> aformat ->
// abuffersink), so the bytes are the tool's without starting it. It knows a
// small table of options; every request outside it, and every file that
// leaves the plain path (a decode error, a frame-rate conversion that would
// repeat or drop a frame, a picture or sound format changing mid-stream,
// several candidate streams), answers "not here" with the reason, and the
// caller runs the tool instead. Nothing here uses the library under test.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vex::testkit::inprocess {

// Why a request goes to the tool after all.
struct NotHere {
  std::string why;
};

template <class T> using Answer = std::variant<T, NotHere>;

// `ffmpeg <input_options> -i file <output_options> -`, the output a raw
// picture or sample format.
Answer<std::vector<uint8_t>> decode(const std::string &file, const std::string &output_options,
                                    const std::string &input_options);
// `ffprobe -select_streams v:0 -show_entries frame=color_space`: the matrix
// name each decoded frame carries, "unknown" where none.
Answer<std::vector<std::string>> frame_color_spaces(const std::string &file);
// `ffprobe -select_streams v:0 -show_entries packet=size`, in file order.
Answer<std::vector<uint32_t>> video_packet_sizes(const std::string &file);

} // namespace vex::testkit::inprocess

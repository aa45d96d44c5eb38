// The ffmpeg command-line tool as an independent maker and decoder of test
// movies, animations and stills. Every helper throws std::runtime_error with the
// command line when the tool is missing or fails, so a test never passes
// by skipping its oracle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit {

// Runs `ffmpeg -y -loglevel error <args>`; throws on failure.
void ffmpeg(const std::string &args);
// Decodes a file with the tool to raw bytes of the given pixel or sample
// format (`-f rawvideo -pix_fmt bgra`, or `-f s16le` and so on);
// input_options go before the input (decoder options such as `-threads 1`).
std::vector<uint8_t> ffmpeg_decode(const std::string &file, const std::string &output_options,
                                   const std::string &input_options = "");
// Output of `ffprobe -v error <args> <file>`.
std::string ffprobe(const std::string &file, const std::string &args);
// Packet sizes of the first video stream, in file order.
std::vector<uint32_t> ffprobe_video_packet_sizes(const std::string &file);
// Every frame of a file as packed red, green, blue bytes of width x height,
// in file order (none dropped or repeated: the tool's frame-rate logic is
// off); throws when the output is not a whole number of frames.
std::vector<std::vector<uint8_t>> ffmpeg_decode_rgb(const std::string &file, uint32_t width, uint32_t height);

// Single-quoted for the shell, embedded quotes included.
std::string shell_quote(const std::string &s);

} // namespace vex::testkit

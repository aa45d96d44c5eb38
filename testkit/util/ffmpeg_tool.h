// The ffmpeg command-line tool as an independent maker and decoder of test
// movies, animations and stills. Every helper throws std::runtime_error with the
// command line when the tool is missing or fails, so a test never passes
// by skipping its oracle.
//
// Starting the tool costs a fifth of a second, so the common decodes and
// probes run FFmpeg's own demuxers, decoders and filters in this process,
// set up exactly as the tool would set them up (ffmpeg_inprocess.h), and the
// files made from generated sources alone come from a cache
// (ffmpeg_made_cache.h). VEX_FFMPEG_ORACLE in the environment chooses:
//   unset      in process where the options and the file allow, else the tool;
//   compare    both, throwing with the command line when the bytes differ;
//   tool       the tool for everything, no cache.
// VEX_FFMPEG_ORACLE_LOG=<file> appends one line per call saying which way it
// went and, for the tool, why.
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
// The matrix name of every frame of the first video stream, as ffprobe's
// frame=color_space reports it ("unknown" where untagged).
std::vector<std::string> ffprobe_frame_color_spaces(const std::string &file);
// Packet sizes of the first video stream, in file order.
std::vector<uint32_t> ffprobe_video_packet_sizes(const std::string &file);
// Every frame of a file as packed red, green, blue bytes of width x height,
// in file order (none dropped or repeated: the tool's frame-rate logic is
// off); throws when the output is not a whole number of frames.
std::vector<std::vector<uint8_t>> ffmpeg_decode_rgb(const std::string &file, uint32_t width, uint32_t height);

// Single-quoted for the shell, embedded quotes included.
std::string shell_quote(const std::string &s);

} // namespace vex::testkit

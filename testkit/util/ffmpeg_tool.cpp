#include "testkit/util/ffmpeg_tool.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "testkit/util/ffmpeg_inprocess.h"
#include "testkit/util/ffmpeg_made_cache.h"
#include "testkit/util/file_bytes.h"

namespace vex::testkit {

namespace {

std::string run(const std::string &command, bool want_output) {
  FILE *p = popen(command.c_str(), "r");
  if (!p)
    throw std::runtime_error("cannot start: " + command);
  std::string out;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0)
    if (want_output)
      out.append(chunk, n);
  const int status = pclose(p);
  if (status != 0)
    throw std::runtime_error("failed (is the ffmpeg tool installed?): " + command);
  return out;
}

enum class Mode { in_process, compare, tool };

Mode mode() {
  const char *v = std::getenv("VEX_FFMPEG_ORACLE");
  const std::string s = v != nullptr ? v : "";
  if (s.empty())
    return Mode::in_process;
  if (s == "compare")
    return Mode::compare;
  if (s == "tool")
    return Mode::tool;
  throw std::runtime_error("VEX_FFMPEG_ORACLE is unset, compare or tool, not " + s);
}

void note(const std::string &what) {
  if (const char *log = std::getenv("VEX_FFMPEG_ORACLE_LOG"); log != nullptr && *log != '\0')
    std::ofstream(log, std::ios::app) << what << "\n";
}

// The in-process answer where there is one (checked against the tool in
// compare mode), else the tool's.
template <class T>
T answer(const std::string &kind, const std::string &command, const std::function<inprocess::Answer<T>()> &here,
         const std::function<T()> &tool) {
  if (mode() == Mode::tool) {
    note(kind + " tool: asked");
    return tool();
  }
  auto a = here();
  if (const auto *n = std::get_if<inprocess::NotHere>(&a)) {
    note(kind + " tool: " + n->why);
    return tool();
  }
  note(kind + " in-process");
  if (mode() == Mode::compare && std::get<T>(a) != tool())
    throw std::runtime_error("the in-process " + kind + " differs from the tool's: " + command);
  return std::get<T>(std::move(a));
}

std::vector<std::string> lines(const std::string &text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);)
    if (!line.empty())
      out.push_back(line);
  return out;
}

} // namespace

std::string shell_quote(const std::string &s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

void ffmpeg(const std::string &args) {
  const std::string command = "ffmpeg -nostdin -hide_banner -y -loglevel error " + args;
  if (mode() == Mode::tool) {
    note("make tool: asked");
    run(command, false);
    return;
  }
  std::string why;
  const auto entry = made_cache::entry_for(args, why);
  if (!entry) {
    note("make tool: " + why);
    run(command, false);
    return;
  }
  if (made_cache::fetch(*entry)) {
    note("make cached");
    if (mode() == Mode::compare) {
      const std::vector<uint8_t> cached = read_file(entry->output);
      run(command, false);
      const std::vector<uint8_t> fresh = read_file(entry->output);
      if (fresh != cached) {
        // Some generated sources (gradients) differ from run to run; only a
        // tool that repeats itself shows the cache wrong.
        run(command, false);
        if (read_file(entry->output) == fresh)
          throw std::runtime_error("the cached output differs from the tool's: " + command);
        note("make cached: the tool's own output differs from run to run");
      }
    }
    return;
  }
  note("make tool: stored");
  run(command, false);
  made_cache::store(*entry);
}

std::vector<uint8_t> ffmpeg_decode(const std::string &file, const std::string &output_options,
                                   const std::string &input_options) {
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error " + input_options + " -i " +
                              shell_quote(file) + " " + output_options + " -";
  return answer<std::vector<uint8_t>>(
      "decode", command, [&] { return inprocess::decode(file, output_options, input_options); },
      [&] {
        const std::string out = run(command, true);
        return std::vector<uint8_t>(out.begin(), out.end());
      });
}

std::string ffprobe(const std::string &file, const std::string &args) {
  note("probe tool: general");
  return run("ffprobe -v error " + args + " " + shell_quote(file), true);
}

std::vector<std::string> ffprobe_frame_color_spaces(const std::string &file) {
  const std::string args = "-select_streams v:0 -show_entries frame=color_space -of csv=p=0";
  return answer<std::vector<std::string>>(
      "color-space probe", "ffprobe " + args + " " + file, [&] { return inprocess::frame_color_spaces(file); },
      [&] {
        // A frame's side data prints as lines of its own after the frame's.
        std::vector<std::string> names;
        for (const std::string &line : lines(run("ffprobe -v error " + args + " " + shell_quote(file), true)))
          names.push_back(line.substr(0, line.find(',')));
        return names;
      });
}

std::vector<uint32_t> ffprobe_video_packet_sizes(const std::string &file) {
  const std::string args = "-select_streams v:0 -show_entries packet=size -of csv=p=0";
  return answer<std::vector<uint32_t>>(
      "packet-size probe", "ffprobe " + args + " " + file, [&] { return inprocess::video_packet_sizes(file); },
      [&] {
        std::vector<uint32_t> sizes;
        for (const std::string &line : lines(run("ffprobe -v error " + args + " " + shell_quote(file), true)))
          sizes.push_back(static_cast<uint32_t>(std::stoul(line)));
        return sizes;
      });
}

std::vector<std::vector<uint8_t>> ffmpeg_decode_rgb(const std::string &file, uint32_t width, uint32_t height) {
  const std::vector<uint8_t> all = ffmpeg_decode(file, "-fps_mode passthrough -f rawvideo -pix_fmt rgb24");
  const size_t frame = size_t{width} * height * 3;
  if (frame == 0 || all.size() % frame != 0)
    throw std::runtime_error("ffmpeg output of " + file + " is not a whole number of frames");
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at < all.size(); at += frame)
    frames.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                        all.begin() + static_cast<std::ptrdiff_t>(at + frame));
  return frames;
}

} // namespace vex::testkit

#include "movie/ffmpeg_api.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vex::movie {

namespace {

#define VEX_STRING(x) #x
#define VEX_SONAME(lib, major) "lib" lib ".so." VEX_STRING(major)

// Dependencies first, so that a missing one is named for itself. The
// majors are the headers': an FFmpeg of another major has another ABI.
constexpr const char *kLibraries[] = {
    VEX_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),     VEX_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR),
    VEX_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR),   VEX_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
    VEX_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR),
};

struct Loaded {
  FfmpegApi api{};
  std::string reason; // empty when every function was found
};

Loaded load() {
  Loaded l;
  std::vector<void *> handles;
  auto give_up = [&](std::string why) {
    l.reason = std::move(why);
    for (void *h : handles)
      dlclose(h);
    return l;
  };
  for (const char *name : kLibraries) {
    void *h = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char *why = dlerror();
      return give_up(why ? why : std::string(name) + ": cannot be loaded");
    }
    handles.push_back(h);
  }
  auto find = [&](const char *name) -> void * {
    for (void *h : handles)
      if (void *p = dlsym(h, name))
        return p;
    return nullptr;
  };
#define VEX_FFMPEG_RESOLVE(name)                                                                                       \
  if (!(l.api.name = reinterpret_cast<decltype(&::name)>(find(#name))))                                                \
    return give_up(#name " is missing from FFmpeg's libraries");
  VEX_FFMPEG_FUNCTIONS(VEX_FFMPEG_RESOLVE)
#undef VEX_FFMPEG_RESOLVE
  return l; // the libraries stay loaded for the life of the process
}

const Loaded &loaded() {
  static const Loaded l = load();
  return l;
}

} // namespace

bool ffmpeg_load(std::string *reason) {
  const Loaded &l = loaded();
  if (reason)
    *reason = l.reason;
  return l.reason.empty();
}

const FfmpegApi &ff() {
  const Loaded &l = loaded();
  if (!l.reason.empty()) {
    // Every way into the movie code asks ffmpeg_load() first; reaching
    // here is a fault of ours, not of the input.
    std::fprintf(stderr, "vexutil: FFmpeg's libraries are not loaded: %s\n", l.reason.c_str());
    std::abort();
  }
  return l.api;
}

} // namespace vex::movie

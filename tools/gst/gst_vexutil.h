// The pieces of the GStreamer plugin, registered by gst_plugin.cpp.
//
// Media types (the type finders name them, the decoders take them):
//   video/x-korvane   a Korvane movie ("KVN2", "KVN4")
//   video/x-tolm      a Tolm movie ("TLM" and a version letter f-i)
//   video/x-rawb      a raw frame file ("RAWB")
// A movie found inside a self-playing executable carries the field
// executable=(boolean)true; the decoder then opens it under a name ending
// in ".exe", which is how the library tells an executable.
#pragma once

#include <gst/gst.h>

namespace vexgst {

inline constexpr const char *kKorvaneType = "video/x-korvane";
inline constexpr const char *kTolmType = "video/x-tolm";
inline constexpr const char *kRawbType = "video/x-rawb";

gboolean register_type_finders(GstPlugin *plugin);
gboolean register_movie_decoders(GstPlugin *plugin);
gboolean register_flc_encoder(GstPlugin *plugin);

} // namespace vexgst

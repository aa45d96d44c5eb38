// The plugin's entry: the type finders, the three decoders and the FLC
// encoder, all over the shared libvexutil.so.
#include "gst_vexutil.h"

namespace {

gboolean plugin_init(GstPlugin *plugin) {
  return vexgst::register_type_finders(plugin) && vexgst::register_movie_decoders(plugin) &&
         vexgst::register_flc_encoder(plugin);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vexutil,
                  "Korvane, Tolm and raw frame movies, and FLC output, through vexutil", plugin_init, VEX_GST_VERSION,
                  "Proprietary", "vexutil", "vexutil")

"""imageio plugin: the vexutil Format.

Importing vexutil registers it (imageio 2.x's imageio.formats), so

    imageio.get_reader("movie.kvn", format="vexutil")
    imageio.mimread("anim.flc")
    imageio.mimwrite("out.flc", frames, fps=15)

go through libvexutil. Frames are RGB (H x W x 3 uint8; RGBA with
alpha=True); indexed=True gives 8-bit frames as palette indices instead,
with the palette in the frame's meta data. Reader keywords are those of
vexutil.open; writer keywords fps (default 15), codec, sound and the
palette options of vexutil.write. Where imageio has the v3 API, the same
Format is named to it as the plugin "vexutil" (imageio.v3.imread(uri,
plugin="vexutil")).
"""

import imageio
import numpy as np
from imageio.core import Format

import vexutil

# The extensions imageio picks this format by: the formats of our own family
# (movies, stills and the rest are read too when the format is named, but
# imageio's own formats keep them by default).
_READ_EXTENSIONS = ".flc .fli .kvn .tlm .raw .exe .lst"
_WRITE_EXTENSIONS = {".flc", ".avi", ".bmp", ".png", ".tif", ".jpg", ".tga", ".pcx", ".gif"}
_DESCRIPTION = "libvexutil: FLIC, Korvane, Tolm, raw frame files, movies, stills and lists (read); FLC, AVI, stills"


class VexutilFormat(Format):
    """Pictures through libvexutil's graphics source and output writer."""

    def _can_read(self, request):
        if request.mode[1] not in self.modes + "?":
            return False
        if request.extension in self.extensions:
            return True
        try:  # anything the graphics source opens, whatever its name says
            with vexutil.open(request.get_local_filename()):
                return True
        except vexutil.Error:
            return False

    def _can_write(self, request):
        return request.mode[1] in self.modes + "?" and request.extension in _WRITE_EXTENSIONS

    class Reader(Format.Reader):
        def _open(self, indexed=False, **options):
            self._indexed = indexed
            if indexed:
                options.setdefault("colour", "indexed")
            self._movie = vexutil.open(self.request.get_local_filename(), **options)

        def _close(self):
            self._movie.close()

        def _get_length(self):
            return len(self._movie)

        def _get_data(self, index):
            if not 0 <= index < len(self._movie):
                raise IndexError(f"frame {index} of {len(self._movie)}")
            frame = self._movie[index]
            meta = self._get_meta_data(index)
            if isinstance(frame, vexutil.IndexedFrame):
                if self._indexed:
                    meta["palette"] = frame.palette
                    return np.asarray(frame), meta
                return frame.rgb(), meta
            return frame, meta

        def _get_meta_data(self, index):
            m = self._movie
            return {"fps": float(m.rate), "rate": m.rate, "size": m.size, "depth": m.depth, "kind": m.kind,
                    "frame_count": m.frame_count, "duration": 1000.0 / float(m.rate)}

    class Writer(Format.Writer):
        def _open(self, fps=15, codec=None, sound=None, **palette_options):
            self._rate = fps
            self._codec = codec
            self._sound = sound
            self._palette_options = palette_options
            self._frames = []

        def _append_data(self, im, meta):
            im = np.asarray(im)
            if im.ndim == 2 and "palette" not in meta:  # grey: imageio's convention for 2-D images
                im = np.repeat(im[:, :, None], 3, axis=2)
            elif im.ndim == 2:
                im = im.view(vexutil.IndexedFrame)
                im.palette = np.asarray(meta["palette"], np.uint8)
            self._frames.append(im)

        def set_meta_data(self, meta):
            pass

        def _close(self):
            if self._frames:
                vexutil.write(self.request.get_local_filename(), self._frames, self._rate, sound=self._sound,
                              codec=self._codec, **self._palette_options)


def register():
    """Adds the Format to imageio (again after imageio's formats were reset)."""
    if "VEXUTIL" not in imageio.formats.get_format_names():
        imageio.formats.add_format(VexutilFormat("vexutil", _DESCRIPTION, _READ_EXTENSIONS, "iI"))
    _register_v3()


def _register_v3():
    try:
        from imageio.config import known_plugins
        from imageio.config.plugins import PluginConfig
    except ImportError:  # imageio before the v3 API
        return
    known_plugins["vexutil"] = PluginConfig(
        name="vexutil", class_name="VexutilFormat", module_name=__name__, is_legacy=True,
        legacy_args={"description": _DESCRIPTION, "extensions": _READ_EXTENSIONS, "modes": "iI"})

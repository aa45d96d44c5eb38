"""Frames and sound of libvexutil's inputs as numpy arrays.

    import vexutil
    with vexutil.open("movie.kvn", first=10, last=40) as movie:
        for frame in movie:          # H x W indices (8-bit) or H x W x 3 RGB
            ...
    samples = vexutil.open_sound("movie.kvn")           # frames x channels
    vexutil.write("out.flc", frames, rate=15)           # FLC, AVI, stills

Pictures come through the library's graphics source and sound through its
sound source, so every input the command-line tools read is read here, with
the same switches under readable names (see OPEN_OPTIONS). The library runs
with the GIL released, so threads decode at once.
"""

import os
import tempfile
from fractions import Fraction

import numpy as np

from . import _vexutil
from .errors import DamageError, Error, OpenError, OptionError, WriteError

__all__ = ["open", "open_sound", "write", "best_palette", "Reader", "IndexedFrame", "Sound", "OPEN_OPTIONS",
           "Error", "OpenError", "DamageError", "WriteError", "OptionError"]

#: Option name -> (the graphics source's switch, what it means).
OPEN_OPTIONS = dict(_vexutil.OPEN_OPTIONS)

#: The graphics source's kind codes by name.
KINDS = {3: "bmp", 4: "gif", 5: "tif", 6: "jpeg", 7: "tga", 8: "png", 9: "pcx", 0x20: "avi", 0x21: "quicktime",
         0x80: "flic", 0x81: "korvane", 0x82: "raw", 0x83: "tolm", 0x100: "list", 0x200: "sound-only"}

_COLOUR_FLAGS = {"auto": _vexutil.DEEP_TRUE_COLOUR, "rgb": _vexutil.TRUE_COLOUR, "indexed": 0}


class IndexedFrame(np.ndarray):
    """An 8-bit frame: H x W palette indices, with ``palette`` (256 x 3
    uint8, red, green, blue) the colours they stand for."""

    def __array_finalize__(self, obj):
        self.palette = getattr(obj, "palette", None)

    def rgb(self):
        """The frame's colours, H x W x 3 uint8."""
        return self.palette[np.asarray(self)]


class Sound(np.ndarray):
    """Samples, frames x channels: uint8 (128 silence) or int16. ``rate``
    is in sample frames per second; ``damage`` names where a damaged input's
    sound ended (None when whole)."""

    def __array_finalize__(self, obj):
        self.rate = getattr(obj, "rate", 0)
        self.damage = getattr(obj, "damage", None)


class Reader:
    """An input read through the graphics source. See :func:`open`."""

    def __init__(self, path, *, colour="auto", alpha=False, packed=False, damaged="raise", **options):
        if colour not in _COLOUR_FLAGS:
            raise OptionError("colour must be 'auto', 'rgb' or 'indexed'", "invalid argument")
        if damaged not in ("raise", "keep"):
            raise OptionError("damaged must be 'raise' or 'keep'", "invalid argument")
        flags = _COLOUR_FLAGS[colour] | (_vexutil.ALPHA if alpha else 0)
        self.path = os.fspath(path)
        self._damaged = damaged
        self._handle = _vexutil.Reader(self.path, flags, bool(packed), options)
        self._info = self._handle.info()
        self._position = 0  # the output frame the next read delivers

    # The record as opened; these do not change while frames are read.
    @property
    def rate(self):
        """Output frames per second, exact."""
        return Fraction(*self._info["out_rate"])

    @property
    def size(self):
        """(width, height) of the frames delivered."""
        return (self._info["width"], self._info["height"])

    @property
    def depth(self):
        """The input's bits per pixel (24 after promotion)."""
        return self._info["depth"]

    @property
    def kind(self):
        """The kind of input: 'flic', 'korvane', 'tolm', 'raw', 'avi', 'quicktime', 'list', 'png', ..."""
        return KINDS.get(self._info["kind"], str(self._info["kind"]))

    @property
    def frame_count(self):
        """Input frames in the selected range (before rate conversion; len() counts output frames)."""
        return self._info["frame_count"]

    @property
    def true_colour(self):
        """True when frames are H x W x 3 (or 4) RGB(A), False for indexed frames."""
        return self._info["true_colour"]

    @property
    def info(self):
        """Everything the source tells: rates, sizes, codec, sound, damage."""
        return dict(self._handle.info())

    @property
    def damage(self):
        """The first damage the source found so far, or None."""
        return self._handle.info()["damage"]

    @property
    def closed(self):
        return self._handle.closed

    def __len__(self):
        return self._info["output_frames"]

    def __iter__(self):
        self.seek(0)
        for _ in range(len(self)):
            yield self._next()

    def __getitem__(self, index):
        if isinstance(index, slice):
            return [self[i] for i in range(*index.indices(len(self)))]
        index = int(index)
        if index < 0:
            index += len(self)
        if not 0 <= index < len(self):
            raise IndexError(f"frame {index} of {len(self)}")
        self.seek(index)
        return self._next()

    def seek(self, index):
        """Makes frame `index` (from 0) the next one read. Backwards starts
        over from the first; forwards true-colour frames are passed over
        without conversion, indexed ones decoded (palettes depend on them)."""
        if index < self._position:
            self._handle.reset()
            self._position = 0
        while self._position < index:
            if self.true_colour:
                self._handle.skip()
            else:
                self._handle.read()
            self._position += 1

    def read(self):
        """The next frame (after the last one the last frame again)."""
        return self._next()

    def _next(self):
        index = self._position
        pixels, palette, damaged = self._handle.read()
        self._position += 1
        if damaged and self._damaged == "raise":
            reason = self.damage or "damaged frame"
            raise DamageError(f"{self.path}: frame {index} is damaged: {reason}", reason, index)
        if palette is None:
            return pixels
        frame = pixels.view(IndexedFrame)
        frame.palette = palette
        return frame

    def close(self):
        """Releases the input (also done when the reader is collected)."""
        self._handle.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else f"{len(self)} frames {self.size[0]}x{self.size[1]} at {self.rate} fps"
        return f"<vexutil.Reader {self.path!r} {self.kind} {state}>"


def open(path, *, colour="auto", alpha=False, packed=False, damaged="raise", **options):  # noqa: A001
    """Opens a picture input (FLIC, Korvane, Tolm, raw frame file, a movie
    inside an executable, AVI, QuickTime, stills, lists and numbered series).

    len(), iteration and indexing give frames as numpy arrays: H x W x 3
    uint8 RGB for true colour (H x W x 4 RGBA with alpha=True), H x W
    uint8 palette indices for 8-bit frames (an IndexedFrame: ``.palette``
    256 x 3, ``.rgb()``).

    colour: 'auto' (the input's own kind of depth), 'rgb' (always true
    colour) or 'indexed' (always 8-bit; deeper inputs get palettes built).
    packed: RGB frames are by default views of the library's own 4-byte
    pixels (no copy: strides (row, 4, -1)); packed=True gives C-contiguous
    arrays for one copy (np.ascontiguousarray(frame) does the same later).
    RGBA frames (alpha=True) are always packed.
    damaged: 'raise' (DamageError with the frame and the reason) or 'keep'
    (deliver what decoded).
    options: the graphics source's switches by name (OPEN_OPTIONS):
    first, last (from 1), fps (playback rate), output_fps (frames dropped
    or repeated to reach it), crop=(x, y, w, h), promotion, palette_mode,
    palette_period, palette_entries, first_index, palette_split,
    system_colours, palette_file. Rates take ints, Fractions, floats
    (29.97) or text ('30000;1001'; negative: a frame duration in ms).

    Raises OpenError (with the library's reason) or OptionError.
    """
    return Reader(path, colour=colour, alpha=alpha, packed=packed, damaged=damaged, **options)


def open_sound(path, rate=None, bits=None, channels=None, *, start=0, end=0, track=0, damaged="raise"):
    """Reads the sound of any sound input (WAV, raw chunk streams, movies,
    lists) through the sound source, converted to `rate` Hz, `bits` (8 or
    16) and `channels` (1 or 2) where given, as a Sound array (frames x
    channels; uint8 or int16) with ``.rate``. start and end: milliseconds,
    negative values frames (from 1) of inputs with frames; track: the
    source's track number. A damaged input raises DamageError unless
    damaged='keep', which gives the sound up to the damage.
    """
    if damaged not in ("raise", "keep"):
        raise OptionError("damaged must be 'raise' or 'keep'", "invalid argument")
    samples, out_rate, damage = _vexutil.read_sound(os.fspath(path), int(rate or 0), int(bits or 0),
                                                    int(channels or 0), int(start), int(end), int(track))
    if damage is not None and damaged == "raise":
        raise DamageError(f"{os.fspath(path)}: the sound is damaged: {damage}", damage)
    sound = samples.view(Sound)
    sound.rate = out_rate
    sound.damage = damage
    return sound


def _fraction(rate):
    if isinstance(rate, float):
        rate = Fraction(repr(rate))
    rate = Fraction(rate)
    if not 0 < rate.numerator <= 0xFFFFFFFF or rate.denominator > 0xFFFFFFFF:
        raise OptionError(f"rate {rate} is not a positive fraction of 32-bit terms", "invalid argument")
    return rate


# Outputs that hold only 8-bit frames: true colour reaches them through palettes.
_EIGHT_BIT_ONLY = {"", ".flc", ".pcx", ".gif"}


def _true_colour_file(directory, frames, rate, name="frames.avi"):
    """Writes true-colour frames losslessly to an uncompressed AVI in
    `directory`, for the graphics source to build palettes over."""
    path = os.path.join(directory, name)
    height, width = frames[0].shape[:2]
    w = _vexutil.Writer(path, "", True, len(frames), rate.numerator, rate.denominator, width, height)
    for f in frames:
        w.put(f)
    w.close()
    return path


def _sound_source(sound):
    if sound is None:
        return None
    samples, rate = (sound, sound.rate) if isinstance(sound, Sound) else sound
    samples = np.asarray(samples)
    if samples.dtype not in (np.uint8, np.int16):
        raise OptionError("sound samples must be uint8 or int16", "invalid argument")
    if samples.ndim == 1:
        samples = samples[:, None]
    if samples.ndim != 2 or samples.shape[1] not in (1, 2):
        raise OptionError("sound must be frames x 1 or 2 channels", "invalid argument")
    return np.ascontiguousarray(samples.astype("<" + samples.dtype.str[1:])), int(rate)


def write(path, frames, rate, sound=None, codec=None, palette=None, **palette_options):
    """Writes frames through the output writer, as the extension of `path`
    names: FLC (.flc or none), AVI (.avi; `codec` an encoder name, none:
    uncompressed; `sound` a Sound or (samples, rate) as its PCM track), or
    numbered stills (.bmp .png .tif .jpg .tga .pcx .gif).

    frames: a sequence of equally sized arrays, either H x W x 3 (or 4)
    uint8 RGB(A), or H x W uint8 indices with a palette (each frame's
    ``.palette``, as read, or `palette` for all). rate: frames per second
    (int, Fraction, float). True-colour frames written to an 8-bit output
    (FLC, PCX, GIF; any output when palette options are given) get the
    library's shared palettes; palette_options are those of OPEN_OPTIONS
    (palette_period, palette_entries, first_index, palette_split,
    system_colours, palette_mode, promotion, palette_file).
    Returns the output's size in bytes; raises WriteError.
    """
    frames = [np.asarray(f) if not isinstance(f, IndexedFrame) else f for f in frames]
    if not frames:
        raise WriteError("no frames to write", "invalid argument")
    rate = _fraction(rate)
    path = os.fspath(path)
    indexed = frames[0].ndim == 2
    if indexed and palette_options:
        raise OptionError("palette options apply to true-colour frames", "invalid argument")
    if any(f.dtype != np.uint8 or (f.ndim == 2) != indexed for f in frames):
        raise WriteError("frames must all be uint8, all indexed or all RGB(A)", "invalid argument", 0)
    sound = _sound_source(sound)
    if not indexed and (palette_options or os.path.splitext(path)[1].lower() in _EIGHT_BIT_ONLY):
        with tempfile.TemporaryDirectory(prefix="vexutil-") as scratch:
            source = _true_colour_file(scratch, frames, rate)
            with Reader(source, colour="indexed", **palette_options) as reader:
                return _write_frames(path, reader, len(reader), reader.rate, sound, codec, None)
    return _write_frames(path, frames, len(frames), rate, sound, codec, palette)


def _write_frames(path, frames, count, rate, sound, codec, palette):
    writer = None
    position = 0  # sample frames of `sound` handed on
    try:
        for f in frames:
            if writer is None:
                height, width = f.shape[:2]
                writer = _vexutil.Writer(path, codec or "", f.ndim == 3, count, rate.numerator, rate.denominator,
                                         width, height)
            if sound is not None:
                position = _put_sound(writer, sound, position)
            colours = getattr(f, "palette", None) if palette is None else palette
            if f.ndim == 2 and colours is None:
                raise WriteError(f"frame {writer.frames_put} is indexed and has no palette", "invalid argument",
                                 writer.frames_put)
            writer.put(f, None if f.ndim == 3 else np.asarray(colours, np.uint8))
        done, writer = writer, None
        return done.close()
    finally:
        if writer is not None:
            writer.discard()


def _put_sound(writer, sound, position):
    """Hands the writer the sound due before its next frame (the track runs
    as long as the movie: silence after the end of `sound`)."""
    samples, rate = sound
    channels = samples.shape[1]
    due = writer.sound_amount(rate, 8 * samples.itemsize, channels) // (samples.itemsize * channels)
    chunk = samples[position:position + due]
    if len(chunk) < due:
        silence = np.full((due - len(chunk), channels), 128 if samples.itemsize == 1 else 0, samples.dtype)
        chunk = np.concatenate([chunk, silence])
    writer.put_sound(np.ascontiguousarray(chunk).view(np.uint8).reshape(-1))  # bytes, not values
    return position + due


def best_palette(images, entries=256, **palette_options):
    """The palette the library builds for `images` (a sequence of H x W x 3
    uint8 RGB arrays of one size) with `entries` usable entries, as a
    256 x 3 uint8 array; palette_options as for write (first_index,
    system_colours, ...)."""
    images = [np.asarray(i) for i in images]
    if not images or any(i.ndim != 3 or i.dtype != np.uint8 or i.shape != images[0].shape for i in images):
        raise OptionError("best_palette takes RGB uint8 images of one size", "invalid argument")
    options = {"palette_mode": 1, "palette_period": 0, "palette_entries": entries}
    options.update(palette_options)
    with tempfile.TemporaryDirectory(prefix="vexutil-") as scratch:
        source = _true_colour_file(scratch, images, Fraction(1))
        with Reader(source, colour="indexed", **options) as reader:
            return np.array(reader[0].palette)


def _register_imageio():
    try:
        from . import imageio_plugin
    except ImportError:  # no imageio: the plugin waits for an explicit import
        return
    imageio_plugin.register()


_register_imageio()

"""The library's C interface through ctypes: the independent path the
Python module's frames and samples are checked against. It declares the
records from include/vexutil/gfile.h and sfile.h itself, passes GFileOpen
its numeric arguments directly (no switch text) and unpacks pixels with
numpy, so none of the module's C++ is on this path."""

import ctypes
import os

import numpy as np

_u8p = ctypes.POINTER(ctypes.c_uint8)
_i32 = ctypes.c_int32
_u32 = ctypes.c_uint32


class GFILE(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char * 128), ("type", ctypes.c_char * 128)] + [
        (n, _i32) for n in ("true_colour", "alpha", "kind", "width", "height", "source_width", "source_height",
                            "has_sound", "speed")] + [
        (n, _u32) for n in ("out_num", "out_den", "play_num", "play_den", "source_num", "source_den")] + [
        (n, _i32) for n in ("frame_count", "fetched", "output_frames", "delivered", "depth", "frame_depth",
                            "depth_read")] + [
        ("buffer", _u8p), ("pitch", _i32), ("frame_bytes", _i32), ("file_size", _u32), ("total_frames", _i32),
        ("palette", ctypes.c_uint8 * 768)] + [
        (n, _i32) for n in ("unused", "at_end", "clip_x", "clip_y", "crop_x", "crop_y", "clip_width", "clip_height",
                            "uncovered_width", "uncovered_height", "origin_x", "origin_y", "palette_built")] + [
        ("source_palette", ctypes.c_uint8 * 768), ("state", ctypes.c_void_p)]


class SFILE(ctypes.Structure):  # the fields up to frames_in, which are all the oracle reads
    _fields_ = [("name", ctypes.c_char * 128), ("type", ctypes.c_char * 128), ("at_end", _i32)] + [
        (n, _u32) for n in ("rate", "bits", "channels", "frame_bytes", "frames_out")]


TRUE_COLOUR, ALPHA, DEEP = 1, 2, 4

# GFileOpen's arguments after name and flags, in order, with the defaults
# a caller gives when it wants the input as it is.
OPEN_ARGUMENTS = [("play_num", 0), ("play_den", 0), ("out_num", 0), ("out_den", 0), ("crop_x", 0), ("crop_y", 0),
                  ("crop_width", 0), ("crop_height", 0), ("first", 0), ("last", 0), ("palette_mode", 0),
                  ("palette_period", 0), ("first_index", 0), ("palette_entries", 256), ("palette_split", 0),
                  ("system_colours", 0), ("promotion", 0)]


def library():
    lib = ctypes.CDLL(os.environ["VEXUTIL_LIBRARY"])
    lib.GFileOpen.restype = ctypes.POINTER(GFILE)
    lib.GFileOpen.argtypes = [ctypes.c_char_p, _i32] + [_u32] * 4 + [_i32] * 13 + [ctypes.c_char_p,
                                                                                     ctypes.c_char_p, ctypes.c_void_p]
    lib.GFileGet.argtypes = [ctypes.POINTER(GFILE)]
    lib.GFileClose.argtypes = [ctypes.POINTER(GFILE)]
    lib.GFileClose.restype = ctypes.c_void_p
    lib.SFileOpen.restype = ctypes.POINTER(SFILE)
    lib.SFileOpen.argtypes = [ctypes.c_char_p] + [_i32] * 8 + [ctypes.c_void_p]
    lib.SFileGet.argtypes = [ctypes.POINTER(SFILE), ctypes.c_void_p, _u32]
    lib.SFileGet.restype = _u32
    lib.SFileClose.argtypes = [ctypes.POINTER(SFILE)]
    lib.VEXLastError.restype = ctypes.c_char_p
    return lib


_lib = None


def lib():
    global _lib
    if _lib is None:
        _lib = library()
    return _lib


def open_graphics(path, flags=DEEP, palette_file=None, **arguments):
    """GFileOpen with named arguments (see OPEN_ARGUMENTS); the record, or
    None with the reason in last_error()."""
    unknown = set(arguments) - {n for n, _ in OPEN_ARGUMENTS}
    assert not unknown, unknown
    values = [arguments.get(n, d) for n, d in OPEN_ARGUMENTS]
    g = lib().GFileOpen(os.fsencode(path), flags, *values, palette_file and os.fsencode(palette_file), None, None)
    return g or None


def last_error():
    return lib().VEXLastError().decode()


def frames(path, flags=DEEP, **arguments):
    """Every output frame: (record fields, [(pixels, palette or None)]), the
    pixels unpacked from the library's buffer: H x W indices, or H x W x 3
    (4 with ALPHA) red, green, blue[, alpha] from its blue, green, red, x."""
    g = open_graphics(path, flags, **arguments)
    assert g, f"GFileOpen({path}): {last_error()}"
    try:
        rec = g.contents
        info = {"kind": rec.kind, "width": rec.width, "height": rec.height, "depth": rec.depth,
                "frame_count": rec.frame_count, "output_frames": rec.output_frames,
                "rate": (rec.out_num, rec.out_den), "true_colour": bool(rec.true_colour)}
        out = []
        for _ in range(rec.output_frames):
            assert lib().GFileGet(g) == 1, last_error()
            rows = np.ctypeslib.as_array(rec.buffer, shape=(rec.height * rec.pitch,)).reshape(rec.height, rec.pitch)
            if rec.true_colour:
                px = rows.reshape(rec.height, -1, 4)[:, :rec.width]
                order = [2, 1, 0, 3] if flags & ALPHA else [2, 1, 0]
                out.append((px[:, :, order].copy(), None))
            else:
                palette = np.frombuffer(bytes(rec.palette), np.uint8).reshape(256, 3)
                out.append((rows[:, :rec.width].copy(), palette))
        return info, out
    finally:
        lib().GFileClose(g)


def sound(path, rate=0, bits=0, channels=0, start=0, end=0, track=0):
    """(samples frames x channels, rate) through SFileOpen / SFileGet."""
    s = lib().SFileOpen(os.fsencode(path), rate, bits, channels, start, end, track, 0, 0, None)
    assert s, f"SFileOpen({path}): {last_error()}"
    try:
        rec = s.contents
        chunks = []
        block = ctypes.create_string_buffer(4096)
        while True:
            got = lib().SFileGet(s, block, len(block))
            if got == 0:
                break
            chunks.append(block.raw[:got])
        dtype = np.int16 if rec.bits == 16 else np.uint8
        return np.frombuffer(b"".join(chunks), dtype).reshape(-1, rec.channels), rec.rate
    finally:
        lib().SFileClose(s)


def first_damaged(path, flags=DEEP):
    """The first output frame GFileFrameDamaged flags, and GFileDamage's
    text; (None, None) when every frame decodes."""
    lib().GFileFrameDamaged.argtypes = [ctypes.POINTER(GFILE)]
    lib().GFileDamage.argtypes = [ctypes.POINTER(GFILE)]
    lib().GFileDamage.restype = ctypes.c_char_p
    g = open_graphics(path, flags)
    assert g, last_error()
    try:
        for i in range(g.contents.output_frames):
            lib().GFileGet(g)
            if lib().GFileFrameDamaged(g):
                return i, lib().GFileDamage(g).decode()
        return None, None
    finally:
        lib().GFileClose(g)

"""Frames through vexutil.open equal what the C interface delivers, on
every kind of input, in every colour mode, with every option."""

import os
from fractions import Fraction

import numpy as np
import pytest

import c_oracle
vexutil = pytest.importorskip("vexutil", reason="the vexutil module is not built (pybind11 or numpy missing)")

KIND_FILES = ["a.flc", "m.kvn", "m.tlm", "m.exe", "m.raw", "s.wav", "m.avi", "m.mov", "p.bmp", "p.pcx", "p.png",
              "p.tga", "p.tif", "p.gif", "p.jpg", "l.lst"]
PATTERNS = ["pattern.flc", "pattern.fli", "pattern.tlm", "pattern.kvn"]
# colour mode of vexutil.open -> the flags the oracle passes GFileOpen
MODES = {"auto": c_oracle.DEEP, "rgb": c_oracle.TRUE_COLOUR, "indexed": 0}


def assert_same_frames(reader, expected_info, expected):
    assert len(reader) == expected_info["output_frames"] == len(expected)
    assert reader.size == (expected_info["width"], expected_info["height"])
    assert reader.rate == Fraction(*expected_info["rate"])
    assert reader.depth == expected_info["depth"]
    assert reader.frame_count == expected_info["frame_count"]
    got = list(reader)
    assert len(got) == len(expected)
    for i, (frame, (pixels, palette)) in enumerate(zip(got, expected)):
        assert frame.dtype == np.uint8
        np.testing.assert_array_equal(np.asarray(frame), pixels, err_msg=f"frame {i}")
        if palette is None:
            assert not isinstance(frame, vexutil.IndexedFrame)
        else:
            np.testing.assert_array_equal(frame.palette, palette, err_msg=f"palette of frame {i}")
            np.testing.assert_array_equal(frame.rgb(), palette[pixels], err_msg=f"colours of frame {i}")


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("name", KIND_FILES)
def test_every_kind_equals_the_c_interface(kind_samples, name, mode):
    folder, kinds = kind_samples
    path = folder / name
    info, expected = c_oracle.frames(path, MODES[mode])
    with vexutil.open(path, colour=mode) as reader:
        assert info["kind"] == kinds[name]
        assert reader.kind == vexutil.KINDS[kinds[name]]
        assert_same_frames(reader, info, expected)


@pytest.mark.parametrize("name", PATTERNS)
def test_pattern_movies_equal_the_c_interface(samples, name):
    path = os.path.join(samples, name)
    info, expected = c_oracle.frames(path)
    with vexutil.open(path) as reader:
        assert_same_frames(reader, info, expected)


def test_alpha_gives_rgba_in_that_order(kind_samples):
    folder, _ = kind_samples
    info, expected = c_oracle.frames(folder / "m.mov", c_oracle.TRUE_COLOUR | c_oracle.ALPHA)
    with vexutil.open(folder / "m.mov", colour="rgb", alpha=True) as reader:
        assert reader[0].shape == (24, 32, 4)
        assert_same_frames(reader, info, expected)


# The readable names against GFileOpen's own arguments: (options of
# vexutil.open, the arguments the oracle hands GFileOpen).
OPTION_CASES = [
    ({"first": 3, "last": 7}, {"first": 3, "last": 7}),
    ({"first": 500}, {"first": 500}),  # past the end: the last frame
    ({"last": 4}, {"last": 4}),
    ({"fps": 30}, {"play_num": 30, "play_den": 1}),
    ({"fps": Fraction(30000, 1001)}, {"play_num": 30000, "play_den": 1001}),
    ({"fps": 29.97}, {"play_num": 2997, "play_den": 100}),
    ({"fps": "25;2"}, {"play_num": 25, "play_den": 2}),
    ({"fps": -100}, {"play_num": 10, "play_den": 1}),  # a duration of 100 ms
    ({"output_fps": 7}, {"out_num": 7, "out_den": 1}),
    ({"fps": 20, "output_fps": 50}, {"play_num": 20, "play_den": 1, "out_num": 50, "out_den": 1}),
    ({"crop": (16, 8, 160, 120)}, {"crop_x": 16, "crop_y": 8, "crop_width": 160, "crop_height": 120}),
    ({"crop": (-10, -6, 0, 0)}, {"crop_x": -10, "crop_y": -6}),
    ({"crop": (300, 190, 37, 21)}, {"crop_x": 300, "crop_y": 190, "crop_width": 37, "crop_height": 21}),
    # built palettes over the FLIC's own colours: placed against the previous frame
    ({"palette_period": 5}, {"palette_period": 5}),
    ({"palette_mode": 1, "palette_entries": 64}, {"palette_mode": 1, "palette_entries": 64, "first_index": 96}),
    ({"palette_mode": 2, "crop": (-8, -8, 0, 0)}, {"palette_mode": 2, "crop_x": -8, "crop_y": -8}),
]
# Palette options, on 8-bit output of the true-colour Tolm movie (these
# switches shape built palettes only).
PALETTE_CASES = [
    ({"palette_period": 5}, {"palette_period": 5}),
    ({"palette_period": 1, "palette_entries": 64}, {"palette_period": 1, "palette_entries": 64, "first_index": 96}),
    ({"palette_entries": 100, "first_index": 200}, {"palette_entries": 100, "first_index": 156}),  # lowered to fit
    ({"palette_entries": 236, "palette_split": 20, "palette_period": 4},
     {"palette_entries": 236, "first_index": 10, "palette_split": 20, "palette_period": 4}),
    ({"system_colours": 2, "palette_mode": 1}, {"system_colours": 2, "palette_mode": 1}),
    ({"palette_mode": 2, "palette_period": 10}, {"palette_mode": 2, "palette_period": 10}),
    ({"promotion": 2}, {"promotion": 2}),
    ({"promotion": 1, "palette_entries": 0}, {"promotion": 1}),  # 0 entries: 256
]


@pytest.mark.parametrize("options,arguments", OPTION_CASES, ids=repr)
def test_options_map_onto_the_sources_arguments(samples, options, arguments):
    path = os.path.join(samples, "pattern.flc")
    info, expected = c_oracle.frames(path, **arguments)
    with vexutil.open(path, **options) as reader:
        assert_same_frames(reader, info, expected)


@pytest.mark.parametrize("options,arguments", PALETTE_CASES, ids=repr)
def test_palette_options_map_onto_the_sources_arguments(samples, options, arguments):
    path = os.path.join(samples, "pattern.tlm")
    info, expected = c_oracle.frames(path, 0, **arguments)
    with vexutil.open(path, colour="indexed", **options) as reader:
        assert_same_frames(reader, info, expected)


def test_palette_file_option(samples, kind_samples):
    folder, _ = kind_samples
    path, colours = os.path.join(samples, "pattern.tlm"), str(folder / "p.png")
    info, expected = c_oracle.frames(path, 0, palette_file=colours)
    with vexutil.open(path, colour="indexed", palette_file=colours) as reader:
        assert_same_frames(reader, info, expected)


def test_every_switch_has_a_name():
    letters = {s for switches, _ in vexutil.OPEN_OPTIONS.values() for s in switches.split()}
    # GFileCommandLine's switches (include/vexutil/gfile.h)
    assert letters == {"/F", "/A", "/X", "/Y", "/W", "/H", "/S", "/E", "/P", "/U", "/Q", "/I", "/$", "/D", "/T", "/&"}


@pytest.mark.parametrize("name", ["pattern.flc", "pattern.tlm", "pattern.kvn"])
def test_indexing_in_any_order_equals_iteration(samples, name):
    with vexutil.open(os.path.join(samples, name)) as reader:
        frames = [np.array(f) for f in reader]
        order = [7, 3, 3, 0, len(frames) - 1, 1, -2, 20]
        for i in order:
            np.testing.assert_array_equal(np.asarray(reader[i]), frames[i], err_msg=f"frame {i}")
        assert [np.array_equal(a, b) for a, b in zip(reader[2:6], frames[2:6])] == [True] * 4
        with pytest.raises(IndexError):
            reader[len(frames)]


def test_reader_attributes_and_closing(samples):
    path = os.path.join(samples, "pattern.kvn")
    with vexutil.open(path) as reader:
        assert (reader.size, reader.rate, len(reader), reader.kind) == ((320, 200), Fraction(100000, 6667), 60, "korvane")
        assert reader.info["sound"]["rate"] == 22050
        assert not reader.closed
    assert reader.closed
    with pytest.raises(vexutil.Error, match="closed"):
        reader.read()


def help_text(function):
    import pydoc
    return pydoc.render_doc(function)


def test_docstrings_reach_help():
    text = help_text(vexutil.open)
    for word in ("first", "crop", "palette_period", "IndexedFrame", "OpenError"):
        assert word in text


# True-colour frames are views of the library's output written into a fresh
# block each frame: windows partly or wholly outside the source must still
# come out as the library's own buffer gives them (black where uncovered).
TRUE_COLOUR_CROPS = [(0, 0, 0, 0), (-10, -6, 0, 0), (16, 8, 160, 120), (300, 190, 37, 21), (-50, -50, 20, 20),
                     (5, 3, 333, 211)]


@pytest.mark.parametrize("packed", [False, True])
@pytest.mark.parametrize("crop", TRUE_COLOUR_CROPS, ids=repr)
def test_true_colour_windows(samples, crop, packed):
    path = os.path.join(samples, "pattern.tlm")
    x, y, w, h = crop
    info, expected = c_oracle.frames(path, c_oracle.TRUE_COLOUR, crop_x=x, crop_y=y, crop_width=w, crop_height=h)
    with vexutil.open(path, colour="rgb", crop=crop, packed=packed) as reader:
        assert_same_frames(reader, info, expected)
        assert reader[0].flags.c_contiguous == packed

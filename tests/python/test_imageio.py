"""The imageio plugin: the "vexutil" Format reads what vexutil.open reads
(as RGB) and writes what vexutil.write writes."""

import os

import numpy as np
import pytest

import c_oracle
vexutil = pytest.importorskip("vexutil", reason="the vexutil module is not built (pybind11 or numpy missing)")

imageio = pytest.importorskip("imageio")


def rgb_of(path):
    """The oracle's frames as RGB: 8-bit ones through their palettes."""
    _, frames = c_oracle.frames(path)
    return [p[:, :, :3] if pal is None else pal[p] for p, pal in frames]


@pytest.mark.parametrize("name", ["pattern.flc", "pattern.kvn", "pattern.tlm"])
def test_get_reader_by_name(samples, name):
    path = os.path.join(samples, name)
    expected = rgb_of(path)
    with imageio.get_reader(path, format="vexutil") as reader:
        assert reader.get_length() == len(expected)
        meta = reader.get_meta_data()
        assert meta["size"] == expected[0].shape[1::-1] and meta["fps"] > 0
        for i, frame in enumerate(reader):
            np.testing.assert_array_equal(frame, expected[i], err_msg=f"frame {i}")
        np.testing.assert_array_equal(reader.get_data(5), expected[5])


@pytest.mark.parametrize("name", ["m.kvn", "m.tlm", "m.exe", "m.raw", "l.lst", "a.flc"])
def test_mimread_finds_the_format_by_extension_or_content(kind_samples, name):
    folder, _ = kind_samples
    frames = imageio.mimread(folder / name)
    expected = rgb_of(folder / name)
    assert len(frames) == len(expected)
    for a, b in zip(frames, expected):
        np.testing.assert_array_equal(a, b)


def test_indexed_reading_keeps_the_palette(samples):
    path = os.path.join(samples, "pattern.flc")
    _, expected = c_oracle.frames(path)
    with imageio.get_reader(path, format="vexutil", indexed=True) as reader:
        frame = reader.get_data(7)
        np.testing.assert_array_equal(frame, expected[7][0])
        np.testing.assert_array_equal(frame.meta["palette"], expected[7][1])


def test_reader_options_reach_the_source(samples):
    path = os.path.join(samples, "pattern.flc")
    frames = imageio.mimread(path, format="vexutil", first=5, last=9, crop=(10, 10, 64, 48))
    assert len(frames) == 5 and frames[0].shape == (48, 64, 3)


# (output, format given to imageio, largest difference per channel): an
# FLC holds few colours up to the 6-bit grid its palettes are built on; an
# AVI (imageio's own ffmpeg format claims .avi first) keeps them exactly.
MIMWRITES = [("x.flc", None, 3), ("x.avi", "vexutil", 0)]


@pytest.mark.parametrize("name,format,largest", MIMWRITES)
def test_mimwrite_reads_back(tmp_path, name, format, largest):
    y, x = np.mgrid[0:24, 0:40]
    frames = [np.stack([(x // 8 * 48 + 4 * i) % 256, y // 6 * 60, np.full_like(x, 128)], 2).astype(np.uint8)
              for i in range(6)]
    imageio.mimwrite(str(tmp_path / name), frames, format=format, fps=12)
    back = rgb_of(tmp_path / name)
    assert len(back) == len(frames)
    for a, b in zip(frames, back):
        assert np.abs(a.astype(int) - b).max() <= largest


def test_mimwrite_indexed_with_palettes_is_exact(tmp_path, samples):
    path = os.path.join(samples, "pattern.flc")
    with imageio.get_reader(path, format="vexutil", indexed=True) as reader:
        frames = [(np.asarray(f), f.meta["palette"]) for f in reader]
    with imageio.get_writer(tmp_path / "x.flc", format="vexutil", mode="I", fps=15) as w:
        for pixels, palette in frames:
            w.append_data(pixels, {"palette": palette})
    _, back = c_oracle.frames(tmp_path / "x.flc")
    for (pixels, palette), (bp, bpal) in zip(frames, back):
        np.testing.assert_array_equal(bpal[bp], palette[pixels])


@pytest.mark.skipif(not hasattr(imageio, "v3"), reason="this imageio has no v3 API (Debian 12 ships 2.4)")
def test_v3_imread_with_the_plugin(samples):
    import imageio.v3 as iio
    path = os.path.join(samples, "pattern.flc")
    frames = iio.imread(path, plugin="vexutil", index=None)
    expected = rgb_of(path)
    assert len(frames) == len(expected)
    np.testing.assert_array_equal(frames[3], expected[3])


# (file, imageio mode, the format imageio picks once vexutil is imported):
# ours for our family's extensions, imageio's own for the rest.
FORMAT_CHOICES = [("a.flc", "rI", "VEXUTIL"), ("m.kvn", "ri", "VEXUTIL"), ("m.tlm", "rI", "VEXUTIL"),
                  ("l.lst", "rI", "VEXUTIL"), ("p.png", "ri", "PNG-PIL"), ("a.flc", "ri", "FLI-PIL"),
                  ("m.avi", "rI", "FFMPEG")]


@pytest.mark.parametrize("name,mode,chosen", FORMAT_CHOICES)
def test_format_chosen_by_extension(kind_samples, name, mode, chosen):
    from imageio.core import Request
    folder, _ = kind_samples
    assert imageio.formats.search_read_format(Request(str(folder / name), mode)).name == chosen


@pytest.mark.parametrize("name", ["m.avi", "p.png", "m.mov"])
def test_other_inputs_when_the_format_is_named(kind_samples, name):
    folder, _ = kind_samples
    frames = imageio.mimread(folder / name, format="vexutil")
    expected = rgb_of(folder / name)
    assert len(frames) == len(expected)
    for a, b in zip(frames, expected):
        np.testing.assert_array_equal(a, b)

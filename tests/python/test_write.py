"""Frames written from arrays read back: FLC exact for 8-bit input and
through the library's palettes for true colour, AVI exact uncompressed
(8-bit and 24-bit) with its PCM track, stills series; best_palette."""

import os

import numpy as np
import pytest

import c_oracle
vexutil = pytest.importorskip("vexutil", reason="the vexutil module is not built (pybind11 or numpy missing)")


def moving_squares(count=12, width=48, height=32, colours=None):
    """True-colour frames: a ramp background and a square moving over it."""
    y, x = np.mgrid[0:height, 0:width]
    frames = []
    for i in range(count):
        f = np.stack([x * 5 % 256, y * 7 % 256, (x + y + 9 * i) % 256], axis=2).astype(np.uint8)
        f[4 + i % 20:14 + i % 20, 3 * i % (width - 10):3 * i % (width - 10) + 10] = (250, 20 * i % 256, 40)
        frames.append(f)
    return frames


def indexed_frames(count=9, width=40, height=30):
    """8-bit frames with a palette each; the palette changes every third frame."""
    rng = np.random.default_rng(7)
    out = []
    for i in range(count):
        f = rng.integers(0, 256, (height, width), dtype=np.uint8).view(vexutil.IndexedFrame)
        f.palette = np.random.default_rng(i // 3).integers(0, 256, (256, 3), dtype=np.uint8)
        out.append(f)
    return out


def oracle_rgb(path):
    info, frames = c_oracle.frames(path, c_oracle.TRUE_COLOUR)
    return info, [p for p, _ in frames]


@pytest.mark.parametrize("name", ["x.flc", "x.avi", "x", "x.png", "x.bmp", "x.tif", "x.pcx", "x.gif"])
def test_indexed_frames_read_back_exactly(tmp_path, name):
    frames = indexed_frames(count=9 if name.endswith(("flc", "avi")) or name == "x" else 1)
    out = tmp_path / name
    size = vexutil.write(out, frames, 12)
    written = tmp_path / ("x.flc" if name == "x" else name)
    assert size == os.path.getsize(written) > 0
    info, back = c_oracle.frames(written, 0)
    assert len(back) == len(frames)
    for i, (f, (pixels, palette)) in enumerate(zip(frames, back)):
        # indices may be renumbered only where two entries hold one colour:
        # compare the colours
        np.testing.assert_array_equal(palette[pixels], f.rgb(), err_msg=f"frame {i}")
    if len(frames) > 1:  # a FLIC keeps the frame time in milliseconds
        num, den = info["rate"]
        assert abs(num / den - 12) < 0.01


@pytest.mark.parametrize("name", ["x.avi", "x.png", "x.bmp", "x.tif"])
def test_true_colour_reads_back_exactly_where_the_output_keeps_it(tmp_path, name):
    frames = moving_squares(count=10 if name == "x.avi" else 1)
    vexutil.write(tmp_path / name, frames, 10)
    _, back = oracle_rgb(tmp_path / name)
    assert len(back) == len(frames)
    for i, (f, b) in enumerate(zip(frames, back)):
        np.testing.assert_array_equal(b, f, err_msg=f"frame {i}")


def test_rgba_frames_lose_only_alpha(tmp_path):
    frames = [np.dstack([f, np.full(f.shape[:2], 77, np.uint8)]) for f in moving_squares(count=3)]
    vexutil.write(tmp_path / "x.avi", frames, 5)
    _, back = oracle_rgb(tmp_path / "x.avi")
    for f, b in zip(frames, back):
        np.testing.assert_array_equal(b, f[:, :, :3])


def psnr(a, b):
    mse = np.mean((a.astype(float) - b.astype(float)) ** 2)
    return 10 * np.log10(255 ** 2 / max(mse, 1e-9))


# (palette options, entries the frames may use, lowest PSNR in dB of any
# frame: the ramps of moving_squares hold thousands of colours; measured
# 26-32, 21-27, 27-28 and 17-24 dB)
PALETTE_WRITES = [({}, 256, 24), ({"palette_entries": 64}, 64, 19), ({"palette_period": 1, "palette_entries": 32}, 32, 25),
                  ({"palette_entries": 16}, 16, 15)]


@pytest.mark.parametrize("options,entries,lowest", PALETTE_WRITES, ids=repr)
def test_true_colour_to_flc_goes_through_palettes(tmp_path, options, entries, lowest):
    frames = moving_squares()
    vexutil.write(tmp_path / "x.flc", frames, 15, **options)
    info, back = c_oracle.frames(tmp_path / "x.flc", 0)
    assert len(back) == len(frames) and abs(info["rate"][0] / info["rate"][1] - 15) < 0.01
    for i, (f, (pixels, palette)) in enumerate(zip(frames, back)):
        assert len(np.unique(pixels)) <= entries
        assert psnr(palette[pixels], f) > lowest, f"frame {i}"


def test_few_colours_survive_palettes_exactly(tmp_path):
    # Colours on the 6-bit grid the palette builder counts at: reduction to
    # 256 entries keeps every one of them.
    rng = np.random.default_rng(3)
    colours = rng.integers(0, 64, (40, 3)).astype(np.uint8) * 4
    frames = [colours[rng.integers(0, 40, (16, 24))] for _ in range(4)]
    vexutil.write(tmp_path / "x.flc", frames, 10, system_colours=2)
    _, back = c_oracle.frames(tmp_path / "x.flc", 0)
    for f, (pixels, palette) in zip(frames, back):
        assert np.abs(palette[pixels].astype(int) - f).max() <= 3


def test_avi_sound_track_reads_back(tmp_path, kind_samples):
    folder, _ = kind_samples
    sound = vexutil.open_sound(folder / "m.avi", rate=11025, bits=16, channels=2)
    frames = moving_squares(count=10)  # 1 s at 10 fps: as long as the sound
    vexutil.write(tmp_path / "x.avi", frames, 10, sound=sound)
    back, rate = c_oracle.sound(tmp_path / "x.avi")
    assert rate == 11025 and back.shape[1] == 2
    n = min(len(back), len(sound))
    assert n >= 0.95 * len(sound)
    np.testing.assert_array_equal(back[:n], sound[:n])
    # and as a (samples, rate) pair of 8-bit mono, padded with silence
    short = np.full((3000,), 200, np.uint8)
    vexutil.write(tmp_path / "y.avi", frames, 10, sound=(short, 8000))
    back, rate = c_oracle.sound(tmp_path / "y.avi")
    assert rate == 8000 and (back[:3000, 0] == 200).all() and (back[3000:, 0] == 128).all()


def test_rates_are_exact(tmp_path):
    from fractions import Fraction
    for rate, expected in [(Fraction(30000, 1001), (30000, 1001)), (12.5, (25, 2)), ("24", (24, 1))]:
        vexutil.write(tmp_path / "x.avi", moving_squares(count=2), rate)
        info, _ = c_oracle.frames(tmp_path / "x.avi", c_oracle.TRUE_COLOUR)
        assert info["rate"] == expected


BAD_WRITES = [
    ("no frames", lambda p: vexutil.write(p / "x.flc", [], 10), vexutil.WriteError),
    ("sizes differ", lambda p: vexutil.write(p / "x.avi", moving_squares(2) + moving_squares(1, width=8), 10),
     vexutil.WriteError),
    ("no palette", lambda p: vexutil.write(p / "x.flc", [np.zeros((4, 4), np.uint8)], 10), vexutil.WriteError),
    ("mixed depths", lambda p: vexutil.write(p / "x.avi", moving_squares(1) + indexed_frames(1), 10),
     vexutil.WriteError),
    ("zero rate", lambda p: vexutil.write(p / "x.avi", moving_squares(1), 0), vexutil.OptionError),
    ("unknown codec", lambda p: vexutil.write(p / "x.avi", moving_squares(1), 5, codec="no-such-codec"),
     vexutil.WriteError),
    ("folder missing", lambda p: vexutil.write(p / "none" / "x.avi", moving_squares(1), 5), vexutil.WriteError),
    ("float frames", lambda p: vexutil.write(p / "x.avi", [np.zeros((4, 4, 3))], 5), vexutil.WriteError),
    ("palette option on 8-bit", lambda p: vexutil.write(p / "x.flc", indexed_frames(1), 5, palette_entries=16),
     vexutil.OptionError),
]


@pytest.mark.parametrize("what,call,error", BAD_WRITES, ids=[c[0] for c in BAD_WRITES])
def test_bad_writes_raise_and_leave_nothing(tmp_path, what, call, error):
    (tmp_path / "x.avi").write_bytes(b"before")
    with pytest.raises(error) as e:
        call(tmp_path)
    assert e.value.reason
    assert (tmp_path / "x.avi").read_bytes() == b"before"
    assert sorted(os.listdir(tmp_path)) == ["x.avi"]  # no temporary left behind


def test_best_palette_holds_few_colours_and_matches_the_frames_palette(tmp_path):
    rng = np.random.default_rng(5)
    colours = rng.integers(0, 64, (12, 3)).astype(np.uint8) * 4
    images = [colours[rng.integers(0, 12, (20, 20))] for _ in range(3)]
    palette = vexutil.best_palette(images, entries=16, system_colours=2)
    assert palette.shape == (256, 3) and palette.dtype == np.uint8
    usable = palette[120:136]  # 16 entries, centred
    # 12 colours in 16 entries: each kept up to the 6-bit grid colours are counted at
    nearest = [np.abs(usable.astype(int) - c).max(axis=1).min() for c in colours]
    assert max(nearest) <= 3, nearest
    # the palette write() gives the frames with the same options
    vexutil.write(tmp_path / "x.flc", images, 5, palette_entries=16, system_colours=2, palette_mode=1)
    _, back = c_oracle.frames(tmp_path / "x.flc", 0)
    np.testing.assert_array_equal(back[0][1][120:136], usable)

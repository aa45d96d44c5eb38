"""Samples through vexutil.open_sound equal what SFileOpen / SFileGet
deliver, on every input with sound, converted every way."""

import os

import numpy as np
import pytest

import c_oracle
vexutil = pytest.importorskip("vexutil", reason="the vexutil module is not built (pybind11 or numpy missing)")

CONVERSIONS = [{}, {"rate": 8000}, {"rate": 44100, "bits": 16, "channels": 2}, {"bits": 8, "channels": 1},
               {"start": 100, "end": 600}]


@pytest.mark.parametrize("conversion", CONVERSIONS, ids=repr)
@pytest.mark.parametrize("name", ["s.wav", "m.avi"])
def test_kind_samples_with_sound(kind_samples, name, conversion):
    folder, _ = kind_samples
    check(folder / name, conversion)


# The Korvane sample has three tracks (transform, delta and raw coded), the
# Tolm sample one.
MOVIE_SOUNDS = [(n, c) for n in ("pattern.kvn", "pattern.tlm") for c in CONVERSIONS] + [
    ("pattern.kvn", {"track": 2}), ("pattern.kvn", {"track": 3, "rate": 11025})]


@pytest.mark.parametrize("name,conversion", MOVIE_SOUNDS, ids=repr)
def test_movie_tracks(samples, name, conversion):
    check(os.path.join(samples, name), conversion)


def check(path, conversion):
    expected, rate = c_oracle.sound(path, **conversion)
    got = vexutil.open_sound(path, **conversion)
    assert isinstance(got, vexutil.Sound) and got.rate == rate and got.damage is None
    assert got.dtype == expected.dtype and got.shape == expected.shape and len(got) > 0
    np.testing.assert_array_equal(got, expected)
    if "rate" in conversion:
        assert rate == conversion["rate"]


def test_sound_errors(kind_samples, tmp_path):
    folder, _ = kind_samples
    with pytest.raises(vexutil.OpenError) as e:
        vexutil.open_sound(folder / "m.kvn")  # a Korvane movie without sound
    assert "No sound" in e.value.reason
    with pytest.raises(vexutil.OpenError, match="no such file"):
        vexutil.open_sound(tmp_path / "missing.wav")

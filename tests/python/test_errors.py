"""Bad input raises vexutil errors with the library's reason and never
crashes the interpreter: the fuzz corpora's crash inputs, cut files, files
of the wrong kind, bad options."""

import json
import os
import pathlib
import re
import subprocess
import sys

import pytest

import c_oracle
vexutil = pytest.importorskip("vexutil", reason="the vexutil module is not built (pybind11 or numpy missing)")

# Reads every input named on stdin (one per line) through vexutil.open and
# open_sound to the end; prints a JSON line per input before and after, so
# a crash names the input it died on.
READ_ALL = r"""
import json, sys, vexutil
for line in sys.stdin:
    path = line.rstrip("\n")
    print(json.dumps({"start": path}), flush=True)
    result = {"path": path}
    for what in ("frames", "sound"):
        try:
            if what == "frames":
                with vexutil.open(path, damaged="keep") as r:
                    n = sum(1 for _ in r)
                result[what] = ["ok", n]
            else:
                result[what] = ["ok", len(vexutil.open_sound(path, damaged="keep"))]
        except vexutil.Error as e:
            result[what] = [type(e).__name__, e.reason]
    print(json.dumps(result), flush=True)
"""

# corpus folder -> the extension its inputs are saved under
CORPORA = {"flic_reader": ".flc", "korvane": ".kvn", "movie": ".avi"}


def run_all(paths):
    """Runs READ_ALL in a child interpreter; its results by path."""
    proc = subprocess.run([sys.executable, "-c", READ_ALL], input="\n".join(map(str, paths)) + "\n",
                          capture_output=True, text=True, timeout=600, env=os.environ)
    lines = [json.loads(x) for x in proc.stdout.splitlines()]
    started = [x["start"] for x in lines if "start" in x]
    assert proc.returncode == 0, f"crashed ({proc.returncode}) on {started[-1:]}: {proc.stderr[-2000:]}"
    results = {x["path"]: x for x in lines if "path" in x}
    assert sorted(results) == sorted(map(str, paths))
    return results


def check_results(results):
    for path, r in results.items():
        for what in ("frames", "sound"):
            status, detail = r[what]
            if status != "ok":
                assert status in ("OpenError", "DamageError", "Error"), (path, r)
                assert isinstance(detail, str) and detail, f"{path}: {what} failed without a reason"


@pytest.mark.parametrize("corpus", CORPORA)
def test_crash_inputs_of_the_fuzz_corpora(tmp_path, source_dir, corpus):
    folder = pathlib.Path(source_dir, "fuzz", "corpus", corpus)
    seeds = sorted(p for p in folder.iterdir() if p.name.startswith("crash-"))
    assert seeds, f"no crash inputs in {folder}"
    paths = []
    for seed in seeds:
        path = tmp_path / (seed.name + CORPORA[corpus])
        path.write_bytes(seed.read_bytes())
        paths.append(path)
    check_results(run_all(paths))


@pytest.mark.parametrize("name", ["pattern.flc", "pattern.fli", "pattern.kvn", "pattern.tlm"])
def test_every_cut_of_a_movie(tmp_path, samples, name):
    data = pathlib.Path(samples, name).read_bytes()
    cuts = sorted({0, 1, 4, 16, 127, 128, 129, 700, 1000} | {len(data) * k // 23 for k in range(1, 23)})
    paths = []
    for cut in cuts:
        path = tmp_path / f"cut{cut}{os.path.splitext(name)[1]}"
        path.write_bytes(data[:cut])
        paths.append(path)
    results = run_all(paths)
    check_results(results)
    assert all(r["frames"][0] != "ok" or r["frames"][1] > 0 for r in results.values())


@pytest.mark.parametrize("name", ["pattern.flc", "pattern.fli"])
def test_damage_names_the_frame(tmp_path, samples, name):
    data = pathlib.Path(samples, name).read_bytes()
    path = tmp_path / ("cut" + os.path.splitext(name)[1])
    path.write_bytes(data[:len(data) * 6 // 10])
    frame, text = c_oracle.first_damaged(path)
    assert frame is not None
    with vexutil.open(path) as reader:
        with pytest.raises(vexutil.DamageError) as e:
            for _ in reader:
                pass
    assert e.value.frame == frame and e.value.reason == text
    # the library counts frames from 1 in its text
    assert int(re.search(r"frame (\d+)", text).group(1)) == frame + 1
    with vexutil.open(path, damaged="keep") as reader:
        assert sum(1 for _ in reader) == len(reader)
        assert reader.damage == text


def test_open_errors_carry_the_reason(tmp_path):
    cases = {
        "missing.flc": (None, "no such file"),
        "text.flc": (b"this is no animation\n" * 10, None),
        "empty.kvn": (b"", None),
        "short.tlm": (b"TLMf", None),
    }
    for name, (content, reason) in cases.items():
        path = tmp_path / name
        if content is not None:
            path.write_bytes(content)
        assert c_oracle.open_graphics(path) is None
        expected = c_oracle.last_error()
        with pytest.raises(vexutil.OpenError) as e:
            vexutil.open(path)
        assert e.value.reason == expected and e.value.reason, name
        assert reason is None or reason == e.value.reason
        assert str(path) in str(e.value)


BAD_OPTIONS = [
    {"frist": 3},
    {"first": "3"},
    {"first": 2.5},
    {"first": True},
    {"last": 1 << 40},
    {"crop": (1, 2, 3)},
    {"crop": 5},
    {"fps": object()},
    {"fps": "abc"},
    {"palette_file": 'a"b.png'},
    {"palette_file": "x" * 200},
    {"colour": "grey"},
    {"damaged": "ignore"},
]


@pytest.mark.parametrize("options", BAD_OPTIONS, ids=repr)
def test_bad_options_raise_option_error(samples, options):
    with pytest.raises(vexutil.OptionError) as e:
        vexutil.open(os.path.join(samples, "pattern.flc"), **options)
    assert isinstance(e.value, ValueError) and e.value.reason


def test_errors_pickle_with_their_reason_and_frame():
    import pickle
    e = pickle.loads(pickle.dumps(vexutil.DamageError("m", "frame 3 runs past the end of the file", 2)))
    assert (type(e), str(e), e.reason, e.frame) == (vexutil.DamageError, "m", "frame 3 runs past the end of the file", 2)

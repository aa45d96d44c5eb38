#!/usr/bin/env python3
"""Reading every frame of a 640x480 movie into numpy arrays through the
vexutil module, beside the library's own GFileGet loop (called through
ctypes: one foreign call per frame, about a microsecond, against
milliseconds of decoding) and beside PyAV decoding the same AVI to RGB
arrays. Same run, same inputs, in turns; the ratios are of the best
processor time (and wall time) of each.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_frames.py \\
        --library build/src/libvexutil.so [--frames 250] [--turns 5]

Inputs (made once into a scratch folder): a 640x480 mpeg4 AVI drawn by the
ffmpeg tool (testsrc2, 25 fps), and an FLC of the same frames written by
vexutil.write (8-bit, shared palettes), so both the true-colour and the
8-bit paths are timed. Goal: the module at least 0.9x the C loop's speed.
"""

import argparse
import ctypes
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import vexutil

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))
import c_oracle  # noqa: E402  (the ctypes declarations of the C interface)


def timed(function):
    w, c = time.perf_counter(), time.process_time()
    n = function()
    return n, time.perf_counter() - w, time.process_time() - c


def c_loop(path, flags):
    lib = c_oracle.lib()
    g = c_oracle.open_graphics(path, flags)
    n = 0
    for _ in range(g.contents.output_frames):
        n += lib.GFileGet(g)
    lib.GFileClose(g)
    return n


def module_loop(path):
    n = 0
    with vexutil.open(path) as reader:
        for frame in reader:
            n += frame.shape[0] > 0
    return n


def pyav_loop(path):
    import av
    n = 0
    with av.open(path) as container:
        for frame in container.decode(video=0):
            n += frame.to_ndarray(format="rgb24").shape[0] > 0
    return n


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--library", default=os.environ.get("VEXUTIL_LIBRARY", "build/src/libvexutil.so"))
    ap.add_argument("--frames", type=int, default=250)
    ap.add_argument("--turns", type=int, default=5)
    args = ap.parse_args()
    os.environ["VEXUTIL_LIBRARY"] = os.path.abspath(args.library)
    with tempfile.TemporaryDirectory(prefix="vex-bench-py-") as scratch:
        avi = os.path.join(scratch, "movie.avi")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-frames:v",
                        str(args.frames), "-c:v", "mpeg4", "-q:v", "4", "-g", "25", avi], check=True)
        flc = os.path.join(scratch, "movie.flc")
        vexutil.write(flc, list(vexutil.open(avi)), 25)
        try:
            import av  # noqa: F401
            have_av = True
        except ImportError:
            have_av = False
        runs = {"avi C GFileGet": lambda: c_loop(avi, c_oracle.DEEP), "avi vexutil": lambda: module_loop(avi),
                "flc C GFileGet": lambda: c_loop(flc, c_oracle.DEEP), "flc vexutil": lambda: module_loop(flc)}
        if have_av:
            runs["avi pyav"] = lambda: pyav_loop(avi)
        best = {name: (float("inf"), float("inf")) for name in runs}
        for _ in range(args.turns):
            for name, run in runs.items():
                n, wall, cpu = timed(run)
                assert n == args.frames, (name, n)
                best[name] = (min(best[name][0], wall), min(best[name][1], cpu))
        load = os.getloadavg()[0]
        print(f"{args.frames} frames of 640x480, best of {args.turns} turns, load {load:.1f}")
        for name, (wall, cpu) in best.items():
            print(f"  {name:16s} {args.frames / cpu:7.1f} frames per processor second, {args.frames / wall:7.1f} per second")
        for kind in ("avi", "flc"):
            c, m = best[f"{kind} C GFileGet"], best[f"{kind} vexutil"]
            print(f"{kind}: vexutil at {c[1] / m[1]:.2f}x the C loop's speed (processor), {c[0] / m[0]:.2f}x (wall);"
                  " goal 0.9x")
        if have_av:
            a, m = best["avi pyav"], best["avi vexutil"]
            print(f"avi: vexutil at {a[1] / m[1]:.2f}x PyAV's speed (processor), {a[0] / m[0]:.2f}x (wall)")


if __name__ == "__main__":
    main()

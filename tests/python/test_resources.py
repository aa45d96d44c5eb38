"""Handles are released by `with`, close() and garbage collection; the GIL
is released while the library decodes, so threads decode at once."""

import gc
import os
import sys
import threading
import time

import numpy as np
import pytest

import vexutil


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


@pytest.mark.parametrize("name", ["a.flc", "m.avi", "m.kvn", "l.lst", "p.png"])
@pytest.mark.parametrize("how", ["with", "close", "collected", "cycle"])
def test_no_descriptor_left_after_1000_opens(kind_samples, name, how):
    folder, _ = kind_samples
    path = folder / name
    vexutil.open(path).read()  # the media libraries' one-time start-up
    gc.collect()
    before = open_descriptors()
    for _ in range(1000):
        if how == "with":
            with vexutil.open(path) as r:
                r.read()
        elif how == "close":
            r = vexutil.open(path)
            r.read()
            r.close()
        elif how == "collected":
            vexutil.open(path).read()
        else:  # only the cycle collector can free it
            r = vexutil.open(path)
            r.me = r
            r.read()
            del r
    gc.collect()
    assert open_descriptors() == before


def test_open_failures_leave_no_descriptor(tmp_path):
    bad = tmp_path / "bad.flc"
    bad.write_bytes(b"\x00" * 300)
    before = open_descriptors()
    for _ in range(1000):
        with pytest.raises(vexutil.OpenError):
            vexutil.open(bad)
    assert open_descriptors() == before


def test_decoding_releases_the_gil(samples):
    """While one thread is inside a decode (a first 8-bit frame of the
    true-colour Tolm movie: the palette is built over all its frames), a
    pure-Python counter in another thread must advance. With the GIL held
    it cannot move at all: the switch interval is longer than the call."""
    path = os.path.join(samples, "pattern.tlm")
    count = [0]
    stop = threading.Event()

    def counter():
        while not stop.is_set():
            count[0] += 1

    during = []
    old = sys.getswitchinterval()
    sys.setswitchinterval(5.0)
    t = threading.Thread(target=counter)
    try:
        t.start()
        time.sleep(0.05)
        for _ in range(4):
            r = vexutil.open(path, colour="indexed")
            c0 = count[0]
            r.read()
            during.append(count[0] - c0)
            r.close()
    finally:
        stop.set()
        sys.setswitchinterval(old)
        t.join()
    assert sum(1 for d in during if d > 0) >= 3, during


def read_all(path, out, index, rounds=4):
    for _ in range(rounds):
        with vexutil.open(path) as r:
            out[index] = [np.array(f) for f in r]


def test_two_threads_decode_at_once(samples):
    path = os.path.join(samples, "pattern.tlm")
    sequential = [None, None]
    t0 = time.perf_counter()
    read_all(path, sequential, 0)
    read_all(path, sequential, 1)
    alone = time.perf_counter() - t0
    together = [None, None]
    threads = [threading.Thread(target=read_all, args=(path, together, i)) for i in range(2)]
    t0 = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    both = time.perf_counter() - t0
    for frames in together:
        assert len(frames) == len(sequential[0])
        for a, b in zip(frames, sequential[0]):
            np.testing.assert_array_equal(a, b)
    # Only a generous bound: the machine may be loaded (the GIL test above
    # is the processor-independent check). Two free cores give about 0.55;
    # at a load of 8 on 2 cores 0.8-1.1 was seen.
    print(f"two threads at once: {both / alone:.2f} of the time one after the other")
    assert both < 1.5 * alone


def test_one_reader_refuses_a_second_thread(samples):
    r = vexutil.open(os.path.join(samples, "pattern.tlm"), colour="indexed")
    errors = []

    def second():
        try:
            r._handle.read()
        except vexutil.Error as e:
            errors.append(e.reason)

    started = threading.Event()

    def first():
        started.set()
        r._handle.read()  # the long first frame: palettes over the movie

    a = threading.Thread(target=first)
    a.start()
    started.wait()
    time.sleep(0.005)
    b = threading.Thread(target=second)
    b.start()
    a.join()
    b.join()
    r.close()
    assert errors in ([], ["busy"])  # busy when the second came while the first decoded

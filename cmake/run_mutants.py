#!/usr/bin/env python3
"""Mutation sample: applies each mutant of a fixed list to src/, rebuilds,
runs the test suite and counts the mutants some test kills.

A mutant is one line of the list (mutants.txt):

    path | text | replacement | why

`text` must occur exactly once in the file (so a mutant survives edits
elsewhere in the file); the script replaces it, builds, runs ctest (the
first failing test kills the mutant), and restores the file whatever
happens. The tests of the mutated folder's own binaries (CTest label
test_<folder>, or test_<format> under src/formats) run first, the rest of
the suite only when they all pass, so a killed mutant costs one short run.
A mutant whose text is not found, or found twice, is reported as
stale and not run. A mutant that does not build counts as killed by the
compiler and is listed apart.

    cmake/run_mutants.py [--build build] [--list FILE] [--only REGEX]
                         [--targets T,...] [--label REGEX]
                         [--jobs N] [--timeout SECONDS]

--targets builds only the named targets instead of everything; --label
runs only the tests whose label matches instead of the whole suite.

Prints one line per mutant (KILLED by <test>, SURVIVED, NO-BUILD, STALE)
and a summary; exits 0.
"""
import argparse
import os
import re
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


def read_list(path):
    mutants = []
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            parts = [p.strip() for p in line.split(" | ")]
            if len(parts) != 4:
                sys.exit(f"{path}:{n}: expected 'path | text | replacement | why'")
            mutants.append({"line": n, "path": parts[0], "text": parts[1], "to": parts[2], "why": parts[3]})
    return mutants


def run(cmd, timeout):
    try:
        p = subprocess.run(cmd, cwd=ROOT, capture_output=True, text=True, timeout=timeout)
        return p.returncode, p.stdout + p.stderr
    except subprocess.TimeoutExpired:
        return -1, "timeout"


def first_failure(output):
    """The first test that ran and failed. CTest's summary lists the tests
    that did not run (skipped, disabled) in a list of their own before the
    failed ones, and counts among the failed ones those it could not start
    ("Not Run"); neither killed the mutant."""
    failed = output.split("The following tests FAILED:", 1)
    for name, why in re.findall(r"^\s*\d+ - (\S+) \(([^)]*)\)", failed[1] if len(failed) > 1 else "", re.M):
        if why != "Not Run":
            return name
    m = re.search(r"Test\s+#\d+: (\S+) \.+\*+(Failed|Timeout|Exception|SEGFAULT|Subprocess aborted)", output)
    return m.group(1) if m else "a test"


def own_label(path):
    """CTest label regex of the binaries that test a src/ file's folder."""
    parts = path.split("/")
    folder = parts[2] if parts[1] == "formats" and len(parts) > 3 else parts[1]
    return f"^test_{folder}"


def run_tests(args, first):
    """Runs the folder's own tests, then the rest (or only --label's); (code, output)."""
    base = ["ctest", "--test-dir", args.build, "-j", args.jobs, "--stop-on-failure", "--timeout", "300"]
    if args.label:
        return run(base + ["-L", args.label], args.timeout)
    code, out = run(base + ["-L", first], args.timeout)
    if code != 0 and "No tests were found" not in out:
        return code, out
    return run(base + ["-LE", first], args.timeout)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--list", default=os.path.join(ROOT, "cmake", "mutants.txt"))
    ap.add_argument("--only", default="")
    ap.add_argument("--targets", default="")
    ap.add_argument("--label", default="")
    ap.add_argument("--jobs", default="2")
    ap.add_argument("--timeout", type=int, default=1800)
    args = ap.parse_args()
    build = ["cmake", "--build", args.build, "-j", args.jobs]
    if args.targets:
        build += ["--target"] + args.targets.split(",")
    mutants = [m for m in read_list(args.list) if re.search(args.only, m["path"] + " " + m["text"])]
    tally = {"KILLED": 0, "SURVIVED": 0, "NO-BUILD": 0, "STALE": 0}
    started = time.time()
    for m in mutants:
        path = os.path.join(ROOT, m["path"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        if original.count(m["text"]) != 1:
            verdict, detail = "STALE", f"text found {original.count(m['text'])} times"
        else:
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original.replace(m["text"], m["to"]))
                code, out = run(build, args.timeout)
                if code != 0:
                    verdict, detail = "NO-BUILD", ""
                else:
                    code, out = run_tests(args, own_label(m["path"]))
                    verdict, detail = ("KILLED", "by " + first_failure(out)) if code != 0 else ("SURVIVED", "")
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
        tally[verdict] += 1
        print(f"{verdict:9} {m['path']}:{m['line']} {m['why']} {detail}", flush=True)
    run(build, args.timeout)  # back to the real code
    ran = tally["KILLED"] + tally["SURVIVED"] + tally["NO-BUILD"]
    print(f"\n{tally['KILLED']} killed by tests, {tally['NO-BUILD']} by the compiler, {tally['SURVIVED']} survived, "
          f"{tally['STALE']} stale, of {ran} run ({(time.time() - started) / 60:.0f} min)")


if __name__ == "__main__":
    main()

#!/bin/sh
# Line and branch coverage of src/, one row per folder (src/formats/<name>
# counted apart), from a coverage build whose tests have run:
#
#   cmake --preset coverage -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
#   cmake --build --preset coverage && ctest --preset coverage
#   cmake/coverage_report.sh [BUILD_DIR] [JSON_OUT]
#
# BUILD_DIR defaults to build-coverage; JSON_OUT keeps gcovr's per-file
# summary. The counters add up over runs: delete the *.gcda files under
# BUILD_DIR (find BUILD_DIR -name '*.gcda' -delete) before measuring again.
# Branches that only C++ exception unwinding or the compiler can reach
# are left out, so the branch column counts the decisions written in the
# source.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-coverage}
json=${2:-}
if ! command -v gcovr >/dev/null 2>&1; then
  echo "coverage_report.sh: needs gcovr (apt-get install gcovr; CI runs no coverage and does not install it)" >&2
  exit 2
fi
if [ ! -d "$build" ] || [ -z "$(find "$build" -name '*.gcda' -print -quit)" ]; then
  echo "coverage_report.sh: no coverage data under $build: build the coverage preset and run its tests first" >&2
  exit 2
fi
build=$(cd "$build" && pwd)
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
gcovr --root "$root" --filter "$root/src/" --exclude-throw-branches --exclude-unreachable-branches -j 2 \
  --json-summary "$summary" "$build" >/dev/null
[ -z "$json" ] || cp "$summary" "$json"
python3 - "$summary" <<'PY'
import collections, json, sys

rows = collections.defaultdict(lambda: [0, 0, 0, 0])  # lines covered, total, branches covered, total
for f in json.load(open(sys.argv[1]))["files"]:
    parts = f["filename"].split("/")  # src/<folder>/... or src/formats/<name>/...
    folder = "/".join(parts[1:3] if parts[1] == "formats" and len(parts) > 3 else parts[1:2])
    for row in (rows[folder], rows["(all of src)"]):
        row[0] += f["line_covered"]
        row[1] += f["line_total"]
        row[2] += f["branch_covered"]
        row[3] += f["branch_total"]

def pct(a, b):
    return f"{100.0 * a / b:5.1f}%" if b else "    -"

print(f"{'folder':18} {'lines':>15} {'':6} {'branches':>15} {'':6}")
for folder in sorted(rows, key=lambda k: (k.startswith("("), k)):
    lc, lt, bc, bt = rows[folder]
    print(f"{folder:18} {lc:7}/{lt:<7} {pct(lc, lt)} {bc:7}/{bt:<7} {pct(bc, bt)}")
PY

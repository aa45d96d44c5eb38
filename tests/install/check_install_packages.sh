#!/usr/bin/env bash
# The set-up command (.ci/install-packages) run without a container: a PATH
# that holds only the tools it needs, a stub apt-get that records its
# arguments, a stub id that says who we are, and a stub sudo only where a
# case wants one. Checks that root needs no sudo, that a user goes through
# sudo, that a user without sudo gets a plain message, and that a failing
# apt-get fails the command.
set -euo pipefail
script="$1"
list="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

expected="$(sed -e 's/#.*//' "$list" | tr -s ' \t' '\n' | grep -v '^$' | tr '\n' ' ')"
[ -n "$expected" ] || { echo "no packages in $list" >&2; exit 1; }

# make_bin DIR UID [sudo] [failing]: the tools plus stubs.
make_bin() {
  local dir="$1" uid="$2" with_sudo="$3" apt_status="$4"
  mkdir -p "$dir"
  for tool in bash env sed grep dirname cat; do
    ln -s "$(command -v "$tool")" "$dir/$tool"
  done
  local shell
  shell="$(command -v bash)"
  printf '#!%s\n[ "$1" = -u ] && echo %s || echo "uid=%s"\n' "$shell" "$uid" "$uid" >"$dir/id"
  printf '#!%s\necho "${DEBIAN_FRONTEND:-unset} $*" >>"%s/apt.log"\nexit %s\n' "$shell" "$dir" "$apt_status" \
    >"$dir/apt-get"
  if [ "$with_sudo" = sudo ]; then
    printf '#!%s\necho "$*" >>"%s/sudo.log"\nexec "$@"\n' "$shell" "$dir" >"$dir/sudo"
  fi
  chmod +x "$dir"/*
}

# run_case NAME UID SUDO APT_STATUS [LIST...]: runs the script (with the
# lists as arguments), leaves its status, output and logs in $work/NAME.
run_case() {
  local name="$1"
  make_bin "$work/$name" "$2" "$3" "$4"
  shift 4
  set +e
  env -i PATH="$work/$name" HOME="$work" "$script" "$@" >"$work/$name/out" 2>&1
  echo $? >"$work/$name/status"
  set -e
}

want_log="noninteractive update
noninteractive install -y --no-install-recommends ${expected% }"

run_case root 0 none 0
[ "$(cat "$work/root/status")" = 0 ] || fail "as root without sudo: status $(cat "$work/root/status"): $(cat "$work/root/out")"
[ "$(cat "$work/root/apt.log" 2>/dev/null)" = "$want_log" ] ||
  fail "as root: apt-get saw '$(cat "$work/root/apt.log" 2>/dev/null)', wanted '$want_log'"

run_case user 1000 sudo 0
[ "$(cat "$work/user/status")" = 0 ] || fail "as a user with sudo: status $(cat "$work/user/status")"
[ "$(cat "$work/user/apt.log" 2>/dev/null)" = "$want_log" ] || fail "as a user: apt-get saw '$(cat "$work/user/apt.log" 2>/dev/null)'"
[ "$(wc -l <"$work/user/sudo.log")" -eq 2 ] || fail "as a user: sudo ran $(wc -l <"$work/user/sudo.log") commands, wanted 2"
grep -q '^env DEBIAN_FRONTEND=noninteractive apt-get install ' "$work/user/sudo.log" || fail "as a user: install not through sudo"

run_case nosudo 1000 none 0
[ "$(cat "$work/nosudo/status")" != 0 ] || fail "a user without sudo succeeded"
grep -q 'run this as root, or install sudo first' "$work/nosudo/out" || fail "a user without sudo: '$(cat "$work/nosudo/out")'"
[ ! -e "$work/nosudo/apt.log" ] || fail "a user without sudo: apt-get ran"

run_case broken 0 none 100
[ "$(cat "$work/broken/status")" != 0 ] || fail "a failing apt-get was not reported"

# Lists named as arguments replace the default one; their packages go to
# one apt-get call in the order given.
printf '# first\nalpha beta\n' >"$work/one.list"
printf 'gamma # the last\n\n' >"$work/two.list"
run_case named 0 none 0 "$work/one.list" "$work/two.list"
[ "$(cat "$work/named/status")" = 0 ] || fail "named lists: status $(cat "$work/named/status"): $(cat "$work/named/out")"
[ "$(sed -n 2p "$work/named/apt.log" 2>/dev/null)" = "noninteractive install -y --no-install-recommends alpha beta gamma" ] ||
  fail "named lists: apt-get saw '$(sed -n 2p "$work/named/apt.log" 2>/dev/null)'"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "install-packages: root without sudo, user with sudo, user without sudo, apt-get failure, named lists: all as expected"

#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The viewer's command line: --help and --version answer without a display
# (Qt is forced onto an X server that is not there, which would abort a
# viewer that made its application first), anything else of ours is refused
# with exit code 2, and Qt's own options still reach Qt.
#   viewer_options_test.sh VIEWER VERSION
set -eu
viewer=$1
version=$2
s=$(mktemp -d)
trap 'rm -rf "$s"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
run() {  # expected exit code, then the arguments
  want=$1
  shift
  rc=0
  (cd "$s/work" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$s/run" \
    "$viewer" "$@" >"$s/out" 2>"$s/err") || rc=$?
  [ "$rc" = "$want" ] || fail "qorvex $*: exit $rc, expected $want: $(cat "$s/err")"
}
mkdir -p "$s/work" && mkdir -m 700 "$s/run"

run 0 --help
grep -q '^usage: qorvex ' "$s/out" || fail "--help: $(cat "$s/out")"
[ ! -s "$s/err" ] || fail "--help wrote errors: $(cat "$s/err")"
run 0 -style fusion --version
[ "$(cat "$s/out")" = "qorvex $version" ] || fail "--version: $(cat "$s/out")"

for args in --bogus -x lexikon.csv "-platform"; do
  # shellcheck disable=SC2086 # each case is split into its arguments
  run 2 $args
  [ "$(wc -l <"$s/err")" = 1 ] && grep -q '^qorvex: .*qorvex --help' "$s/err" ||
    fail "qorvex $args: $(cat "$s/err")"
done
[ -z "$(ls "$s/work")" ] || fail "refused arguments left files: $(ls "$s/work")"

# -platform overrides the X server of the environment only when Qt sees it;
# the window closes at its first expose.
QORVEX_EXIT_ON_EXPOSE=1 run 0 -platform offscreen -style=fusion --reverse -qwindowtitle Titel
grep -q '^first-expose-ns=' "$s/out" || fail "the window was never shown: $(cat "$s/err")"

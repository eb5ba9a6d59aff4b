#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# cmake --install into a scratch prefix with a blank in its path: the files
# land where the desktop expects them, the entry validates and names the
# installed launcher, and the real viewer starts through the launcher in a
# fresh HOME (offscreen, closing at its first expose) and imports the sample.
#   install_test.sh BUILD_DIR SOURCE_DIR RECORDINGS_DIR
set -eu
build=$1
source=$2
recordings=$3
s=$(mktemp -d)
trap 'rm -rf "$s"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
same() { cmp -s "$1" "$2" || fail "$2 is not a copy of $1"; }

prefix="$s/pre fix"
cmake --install "$build" --prefix "$prefix" >"$s/log" || { cat "$s/log"; fail "install failed"; }

for p in qorvex qorvex-db qorvex-launch; do
  [ -x "$prefix/bin/$p" ] || fail "no program bin/$p"
done
same "$source/data/ZEL_LEX.CSV" "$prefix/share/qorvex/ZEL_LEX.CSV"
n=0
for w in "$recordings"/*.WAV "$recordings"/.*.WAV; do
  [ -f "$w" ] || continue
  same "$w" "$prefix/share/qorvex/${w##*/}"
  n=$((n + 1))
done
[ $n -ge 40 ] || fail "only $n recordings in $recordings"
icons="$prefix/share/icons/hicolor"
same "$source/app/ui/pictures/qorvex.png" "$icons/48x48/apps/qorvex.png"
same "$source/app/ui/pictures/qorvex@2x.png" "$icons/96x96/apps/qorvex.png"
same "$source/app/ui/pictures/qorvex.svg" "$icons/scalable/apps/qorvex.svg"

entry="$prefix/share/applications/io.github.qorvex.Qorvex.desktop"
desktop-file-validate "$entry" >"$s/validate" 2>&1 || { cat "$s/validate"; fail "desktop-file-validate"; }
grep -E 'error|warning' "$s/validate" && fail "desktop-file-validate complains"
grep -qx "Exec=\"$prefix/bin/qorvex-launch\"" "$entry" || fail "Exec: $(grep ^Exec "$entry")"
grep -qx 'Icon=qorvex' "$entry" || fail "Icon: $(grep ^Icon "$entry")"

home="$s/ho me"
mkdir -m 700 "$s/run"
env -u XDG_DATA_HOME HOME="$home" XDG_RUNTIME_DIR="$s/run" QT_QPA_PLATFORM=offscreen QORVEX_EXIT_ON_EXPOSE=1 \
  "$prefix/bin/qorvex-launch" >"$s/out" 2>&1 || { cat "$s/out"; fail "the viewer did not start and end"; }
grep -q '^first-expose-ns=' "$s/out" || fail "the viewer's window was never shown"
work="$home/.local/share/qorvex"
"$prefix/bin/qorvex-db" --dir "$work" lookup Dipol >/dev/null || fail "no sample lexicon imported into $work"
[ -f "$work/STRICH.WAV" ] || fail "no recordings in $work"

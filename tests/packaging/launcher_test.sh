#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The launcher seeds the work folder without overwriting and execs the viewer
# there: a fake prefix with a fake viewer that records where it ran.
#   launcher_test.sh LAUNCHER
set -eu
launcher=$1
s=$(mktemp -d)
trap 'rm -rf "$s"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$s/pre fix"
mkdir -p "$prefix/bin" "$prefix/share/qorvex"
cp "$launcher" "$prefix/bin/qorvex-launch"
printf '#!/bin/sh\npwd > "%s/ran"; echo $# >> "%s/ran"; exit 7\n' "$s" "$s" >"$prefix/bin/qorvex"
chmod +x "$prefix/bin/qorvex"
for f in ZEL_LEX.CSV A.WAV B.WAV S.WAV ..WAV README.md; do echo "sample $f" >"$prefix/share/qorvex/$f"; done

launch() {  # expected exit code, then the environment for the launcher
  want=$1
  shift
  rm -f "$s/ran"
  rc=0
  env -u XDG_DATA_HOME -u HOME "$@" "$prefix/bin/qorvex-launch" 2>"$s/err" || rc=$?
  [ "$rc" = "$want" ] || fail "exit $rc, expected $want: $(cat "$s/err")"
}
ran_in() {
  [ "$(cat "$s/ran" 2>/dev/null)" = "$1
0" ] || fail "viewer not run (without arguments) in $1"
}
holds() {  # folder, then the names it holds exactly
  dir=$1
  shift
  [ "$(ls -A "$dir" | tr '\n' ' ')" = "$* " ] || fail "$dir holds $(ls -A "$dir" | tr '\n' ' '), expected $*"
}

# First run: a relative XDG_DATA_HOME is ignored, the folder under HOME is
# made and gets the lexicon and the recordings, byte for byte.
home="$s/ho me"
work="$home/.local/share/qorvex"
launch 7 HOME="$home" XDG_DATA_HOME=relative
ran_in "$work"
holds "$work" ..WAV A.WAV B.WAV S.WAV ZEL_LEX.CSV
for f in ..WAV A.WAV ZEL_LEX.CSV; do cmp -s "$prefix/share/qorvex/$f" "$work/$f" || fail "$f differs"; done

# The user's files win, in any letter case; what is missing comes back.
echo mine >"$work/ZEL_LEX.CSV"
rm "$work/A.WAV"
mv "$work/S.WAV" "$work/s.wav"
launch 7 HOME="$home"
holds "$work" ..WAV A.WAV B.WAV ZEL_LEX.CSV s.wav
[ "$(cat "$work/ZEL_LEX.CSV")" = mine ] || fail "the user's ZEL_LEX.CSV was overwritten"

# Once a lexicon exists, a removed delivery file stays removed (it would
# replace the lexicon), while a removed recording still comes back.
touch "$work/QDLex.DAT"
rm "$work/ZEL_LEX.CSV" "$work/B.WAV"
launch 7 HOME="$home"
holds "$work" ..WAV A.WAV B.WAV QDLex.DAT s.wav

# XDG_DATA_HOME, when absolute, holds the folder.
launch 7 HOME="$home" XDG_DATA_HOME="$s/xdg"
ran_in "$s/xdg/qorvex"

# Relative paths in the options, as in the build tree, survive the change of
# directory; only the sample files are copied.
rc=0
(cd "$s" && "$launcher" --viewer "pre fix/bin/qorvex" --seed "pre fix/share/qorvex" --dir "wo rk") || rc=$?
[ $rc = 7 ] || fail "exit $rc from the build-tree form, expected 7"
ran_in "$s/wo rk"
holds "$s/wo rk" ..WAV A.WAV B.WAV S.WAV ZEL_LEX.CSV

# Without a folder to work in or a viewer to start, nothing starts; nor
# with --help (the usage on standard output) or an unknown option.
launch 2
[ ! -e "$s/ran" ] || fail "viewer run without a work folder"
"$launcher" --help | grep -q '^usage: qorvex-launch ' || fail "--help gives no usage"
rc=0
HOME="$s/h3" "$launcher" --bogus 2>/dev/null || rc=$?
[ $rc = 2 ] && [ ! -e "$s/ran" ] && [ ! -e "$s/h3" ] || fail "--bogus: exit $rc"
rm "$prefix/bin/qorvex"
launch 127 HOME="$s/h2"
[ ! -e "$s/h2" ] || fail "work folder made without a viewer"

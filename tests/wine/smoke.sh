#!/usr/bin/env bash
# Smoke test of the Windows build under Wine: runs vesk.exe from a copy inside
# the prefix's drive C: and checks exit codes, output bytes and the log.
# Usage: smoke.sh path/to/vesk.exe   (uses $WINEPREFIX, or a fresh one)
#
# ACL runs are compared with blocks and logs written out below, byte for
# byte. Wine is no substitute for a test on Windows: its descriptors come
# from Unix modes and are never auto-inherited.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: smoke.sh path/to/vesk.exe}
[[ -f $exe ]] || {
  echo "smoke: no such file: $exe" >&2
  exit 1
}

# UTF-8 file names, and Wine's default ANSI code page, 1252.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
unset LC_ALL
# Alerts must return at once: Wine only does so without a display.
unset DISPLAY WAYLAND_DISPLAY
own_prefix=
if [[ -z ${WINEPREFIX:-} ]]; then
  own_prefix=$(mktemp -d "${TMPDIR:-/tmp}/vesk-smoke.XXXXXX")
  export WINEPREFIX=$own_prefix
fi
work=
cleanup() {
  [[ -n $work ]] && rm -rf "$work"
  if [[ -n $own_prefix ]]; then
    wineserver -k 2>/dev/null
    rm -rf "$own_prefix"
  fi
}
trap cleanup EXIT

drive_c=$WINEPREFIX/drive_c
if [[ ! -d $drive_c ]]; then
  wineboot --init >/dev/null 2>&1
  wineserver -w
fi
[[ -d $drive_c ]] || {
  echo "smoke: no drive_c in $WINEPREFIX" >&2
  exit 1
}

# Everything lives below C:\vesk-smoke: the executable, its terms file, the
# logs and the tree that is walked.
work=$drive_c/vesk-smoke
rm -rf "$work"
mkdir -p "$work/bin"
cp "$exe" "$work/bin/vesk.exe"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# run ARGS...: sets $rc, $out (CRLF turned into LF) and the line-end counts.
run() {
  local file=$work/stdout.bin
  wine 'C:\vesk-smoke\bin\vesk.exe' "$@" >"$file" 2>"$work/stderr.txt"
  rc=$?
  # vesk never ends with 1 in silence: both of its status-1 paths say why on
  # standard error. Status 1 with nothing at all on either stream is Wine
  # failing to start the program (seen once in CI); that run tested nothing,
  # so it is tried once more, and said so.
  if [[ $rc == 1 && ! -s $file && ! -s $work/stderr.txt ]]; then
    echo "smoke: Wine started nothing for: $*; trying once more"
    wine 'C:\vesk-smoke\bin\vesk.exe' "$@" >"$file" 2>"$work/stderr.txt"
    rc=$?
  fi
  if [[ -s $work/stderr.txt ]]; then
    echo "smoke: standard error of: $*"
    sed 's/^/  | /' "$work/stderr.txt"
  fi
  out=$(sed 's/\r$//' "$file"; echo x)
  out=${out%x}
  bare_lf=$(tr -d '\r' <"$file" | wc -l)
  crlf=$(grep -c $'\r$' "$file")
}

expect_rc() {  # NAME WANT
  if [[ $rc == "$2" ]]; then pass "$1: exit $2"; else fail "$1: exit $rc, want $2"; fi
}

# Text-mode standard output: every line ends in CR LF.
expect_crlf() {  # NAME
  if [[ $bare_lf == "$crlf" ]]; then
    pass "$1: CRLF line ends"
  else
    fail "$1: $crlf of $bare_lf lines end in CRLF"
  fi
}

expect_text() {  # NAME WANT GOT
  if [[ $2 == "$3" ]]; then
    pass "$1"
  else
    fail "$1: output differs"
    diff <(printf '%s' "$2") <(printf '%s' "$3") | head -20 >&2
  fi
}

# --- usage text -------------------------------------------------------------
usage=$(cat "$here/usage.txt"; echo x)
usage=${usage%x}
title=
for args in "" "/?" "/h" "/H" 'C:\vesk-smoke'; do
  name="usage (${args:-no arguments})"
  if [[ -z $args ]]; then run; else run "$args"; fi
  expect_rc "$name" 0
  expect_crlf "$name"
  first=${out%%$'\n'*}
  if [[ $first =~ ^VESK\ .*1\.00 ]]; then
    pass "$name: title line"
  else
    fail "$name: title line is '$first'"
  fi
  [[ -z $title ]] && title=$first
  [[ $first == "$title" ]] || fail "$name: title line differs between runs"
  expect_text "$name: text" "$usage" "${out#*$'\n'}"
done

# --- terms listing ----------------------------------------------------------
show=$(cat "$here/show.txt"; echo x)
show=${show%x}
run /show
expect_rc "/show" 0
expect_crlf "/show"
expect_text "/show: title line" "$title" "${out%%$'\n'*}"
expect_text "/show: listing" "$show" "${out#*$'\n'}"
last=$(printf '%s' "$out" | tail -n 1)
expect_text "/show: last line" $'SE_SELF_RELATIVE\t32768' "$last"

# The same with terms replaced from vesk.cfg beside the executable, written as
# a Windows editor would (CRLF).
printf '%s\r\n' '; site terms' '[Access Mode]' '00=Allow' '01=Deny' \
  '[global flags]' '00=<inh>' '01=<own>' '2=Owner is' \
  '[Standard Permissions]' '00=Full Control' >"$work/bin/vesk.cfg"
replaced=$(printf '%s' "$show" | sed \
  -e 's/^A$/Allow/' -e 's/^D$/Deny/' \
  -e 's/^<inherited>$/<inh>/' -e 's/^<not inherited>$/<own>/' \
  -e 's/^Owner:$/Owner is/' -e 's/^FC + $/Full Control + /'; echo x)
replaced=${replaced%x}
[[ $replaced != "$show" ]] || fail "/show with vesk.cfg: expected text unchanged"
run /SHOW
expect_rc "/show with vesk.cfg" 0
expect_text "/show with vesk.cfg: listing" "$replaced" "${out#*$'\n'}"
rm "$work/bin/vesk.cfg"

# --- exit codes -------------------------------------------------------------
run 'C:\vesk-smoke' /o
expect_rc "path with /o only" 2
expect_text "path with /o only: no output" "" "$out"

run 'C:\vesk-smoke' /readacl '/l:C:\vesk-smoke\missing\dir\run.log'
expect_rc "uncreatable log" 100
expect_text "uncreatable log: no output" "" "$out"
[[ ! -e $work/missing ]] || fail "uncreatable log: the folder was made"

# --- ACL runs: real blocks and logs, byte for byte ---------------------------
# Wine makes each descriptor from the Unix mode: owner S-1-5-21-0-0-0-1000
# named by the Unix user running Wine, SYSTEM with full control, Everyone
# for the "other" bits. The expected texts below are written with "|" for a
# tab; the owner's entry sorts between Everyone and SYSTEM.
me=$(id -un)
shopt -s nocasematch
[[ $me > everyone && $me < system ]] ||
  fail "run as a user whose name sorts between Everyone and SYSTEM, not $me"
shopt -u nocasematch
tabs() { tr '|' '\t'; }
DIR755="|Everyone|A|LRD + REA + EXC + RAT + RC|CI+OI
|$me|A|FC|CI+OI
|SYSTEM|A|FC|CI+OI"
DIR700="|$me|A|FC|CI+OI
|SYSTEM|A|FC|CI+OI"
FILE600="|$me|A|FC|NP
|SYSTEM|A|FC|NP"
FILE644="|Everyone|A|LRD + REA + EXC + RAT + RC|NP
|$me|A|FC|NP
|SYSTEM|A|FC|NP"
FILE444="|Everyone|A|LRD + REA + EXC + RAT + RC|NP
|$me|A|LRD + REA + EXC + RAT + RC + WD + WO|NP
|SYSTEM|A|FC|NP"
FILE666="|Everyone|A|LRD + CWD + FAP + REA + WEA + EXC + DSF + RAT + WAT + SD + RC|NP
|$me|A|FC|NP
|SYSTEM|A|FC|NP"

# log_groups LOG: the log without its stamps, after checking that every line
# but the header carries one and that the stamps of a group agree.
log_groups() {
  sed 's/\r$//' "$1" | awk '
    NR == 1 { print; next }
    $0 == "" { print; first = ""; next }
    {
      if (!match($0, /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\t/)) {
        print "NO STAMP: " $0; next
      }
      stamp = substr($0, 1, RLENGTH)
      if (first == "") first = stamp
      else if (stamp != first) print "STAMP DIFFERS: " $0
      print substr($0, RLENGTH + 1)
    }'
}
# group PATH COUNT: the log group of an object read with the explicit call.
group() {
  printf '\nGetSecurityDescriptorDacl () successfully for: %s\npDACL present\nGetExplicitEntriesFromAcl () read %s Entries from DACL' "$1" "$2"
}

tree=$work/t
mkdir -p "$tree/a/deep" "$tree/b"
touch "$tree/top.txt" "$tree/a/in-a.txt" "$tree/b/in-b.txt" \
  "$tree/a/deep/in-deep.txt" "$tree/a/ro.txt" "$tree/b/all.txt"
chmod 755 "$tree" "$tree/a" "$tree/a/deep"
chmod 700 "$tree/b"
chmod 644 "$tree/top.txt" "$tree/a/in-a.txt" "$tree/a/deep/in-deep.txt"
chmod 600 "$tree/b/in-b.txt"
chmod 444 "$tree/a/ro.txt"
chmod 666 "$tree/b/all.txt"
T='C:\vesk-smoke\t'
run "$T" /readacl /s:2 /f /o '/l:C:\vesk-smoke\run.log'
expect_rc "/readacl /s:2 /f /o" 0
expect_crlf "/readacl /s:2 /f /o"
# Depth 2 with /f: the subdirectories two levels down, the files of the
# start and of its direct subdirectories; nothing inside a\deep.
want=$(tabs <<END
$T||Owner: $me
$DIR755

$T\a||Owner: $me
$DIR755

$T\a\deep||Owner: $me
$DIR755

$T\a\in-a.txt||Owner: $me
$FILE644

$T\a\ro.txt||Owner: $me
$FILE444

$T\b||Owner: $me
$DIR700

$T\b\all.txt||Owner: $me
$FILE666

$T\b\in-b.txt||Owner: $me
$FILE600

$T\top.txt||Owner: $me
$FILE644

END
)$'\n\n'
expect_text "/readacl /s:2 /f /o: blocks" "$want" "$out"
want="Logfile created by VESK:
$(group "$T" 3)
$(group "$T\\a" 3)
$(group "$T\\a\\deep" 3)
$(group "$T\\a\\in-a.txt" 3)
$(group "$T\\a\\ro.txt" 3)
$(group "$T\\b" 2)
$(group "$T\\b\\all.txt" 3)
$(group "$T\\b\\in-b.txt" 2)
$(group "$T\\top.txt" 3)"
expect_text "/readacl /s:2 /f /o: log" "$want" "$(log_groups "$work/run.log")"

# Without /o there is no owner column.
run "$T\\b" /readacl
expect_text "/readacl of one directory" \
  "$(printf '%s\t\n' "$T\\b"; tabs <<<"$DIR700")"$'\n\n' "$out"

# --- The views on the same tree ------------------------------------------------
run "$T" /readacl /s:2 /f /o
blocks=$out
# Every entry Wine makes is the object's own: /explicit keeps every block.
run "$T" /readacl /s:2 /f /o /EXPLICIT
expect_text "/explicit: every block" "$blocks" "$out"
# /who: by name and by identifier: the lines of Everyone, and only the
# blocks that have one.
want=$(printf '%s' "$blocks" | awk 'BEGIN { RS = ""; FS = "\n" } {
  kept = ""
  for (i = 2; i <= NF; ++i) if ($i ~ /^\tEveryone\t/) kept = kept $i "\n"
  if (kept != "") printf "%s\n%s\n", $1, kept }')$'\n\n'
run "$T" /readacl /s:2 /f /o /who:everyone
expect_text "/who:everyone" "$want" "$out"
run "$T" /readacl /s:2 /f /o /who:S-1-1-0
expect_text "/who:S-1-1-0" "$want" "$out"
# /tsv: seven columns a line, and the lines rebuild the blocks.
run "$T" /readacl /s:2 /f /o /tsv
expect_crlf "/tsv"
expect_text "/tsv: seven columns" "" "$(awk -F '\t' 'NF != 7' <<<"$out")"
rebuilt=$(printf '%s' "$out" | awk -F '\t' '
  !open || $1 != path {
    if (open) printf "\n"
    path = $1; open = 1
    printf "%s\t%s", $1, $2
    if ($3 != "") printf "\tOwner: %s", $3
    printf "\n"
  }
  { printf "\t%s\t%s\t", $4, $5
    if ($6 != "") printf "%s\t", $6
    printf "%s\n", $7 }')$'\n\n'
expect_text "/tsv: the blocks rebuilt" "$blocks" "$rebuilt"

# --- Names beyond the code page (1252 here) ----------------------------------
# Each object is reached by its exact name and read by its own descriptor:
# the modes tell a.txt from ā.txt and cdir from ĉdir. What 1252 lacks prints
# as "?", never as a look-alike letter, and the log spells the name out.
N=$work/n
mkdir -p "$N/cdir" "$N/ĉdir"
touch "$N/a.txt" "$N/ā.txt" "$N/é.txt" "$N/ĉdir/in.txt" "$N/中文.txt" "$N/😀.txt"
chmod 755 "$N" "$N/ĉdir"
chmod 700 "$N/cdir"
chmod 600 "$N/a.txt" "$N/ĉdir/in.txt"
chmod 644 "$N/ā.txt" "$N/é.txt"
chmod 666 "$N/中文.txt"
chmod 444 "$N/😀.txt"
W='C:\vesk-smoke\n'
e_acute=$(printf '\xe9')  # é in 1252: the byte it always printed as
run "$W" /readacl /s /f '/l:C:\vesk-smoke\names.log'
expect_rc "names: exit" 0
want=$(tabs <<END
$W|
$DIR755

$W\a.txt|
$FILE600

$W\cdir|
$DIR700

$W\\$e_acute.txt|
$FILE644

$W\?.txt|
$FILE644

$W\?dir|
$DIR755

$W\?dir\in.txt|
$FILE600

$W\??.txt|
$FILE666

$W\??.txt|
$FILE444

END
)$'\n\n'
expect_text "names: blocks" "$want" "$out"
lossy='Name printed with ? for characters outside the code page: C:\\vesk-smoke\\n\\'
# lossy_group ESCAPED PATH COUNT: the group of a name shown with "?".
lossy_group() {
  printf '\n%s%s\n' "$lossy" "$1"
  group "$2" "$3" | tail -n +2
}
want="Logfile created by VESK:
$(group "$W" 3)
$(group "$W\\a.txt" 2)
$(group "$W\\cdir" 2)
$(group "$W\\$e_acute.txt" 3)
$(lossy_group '\u0101.txt' "$W\\?.txt" 3)
$(lossy_group '\u0109dir' "$W\\?dir" 3)
$(lossy_group '\u0109dir\\in.txt' "$W\\?dir\\in.txt" 2)
$(lossy_group '\u4e2d\u6587.txt' "$W\\??.txt" 3)
$(lossy_group '\ud83d\ude00.txt' "$W\\??.txt" 3)"
expect_text "names: log" "$want" "$(log_groups "$work/names.log")"

# A name beyond the code page on the command line reaches its object.
run "$W\\ĉdir" /readacl
expect_text "names: ĉdir on the command line" \
  "$(printf '%s\t\n' "$W\\?dir"; tabs <<<"$DIR755")"$'\n\n' "$out"

# --- Long paths ---------------------------------------------------------------
# Four folders of 100 characters: the file at the bottom has a path of 428.
L=$work/long
d100=$(printf 'd%.0s' {1..100})
mkdir -p "$L/$d100/$d100/$d100/$d100"
touch "$L/$d100/$d100/$d100/$d100/bottom.txt"
chmod 755 "$L" "$L/$d100" "$L/$d100/$d100" "$L/$d100/$d100/$d100" \
  "$L/$d100/$d100/$d100/$d100"
chmod 600 "$L/$d100/$d100/$d100/$d100/bottom.txt"
LW='C:\vesk-smoke\long'
run "$LW" /readacl /s /f '/l:C:\vesk-smoke\long.log'
expect_rc "long paths: exit" 0
deepest="$LW\\$d100\\$d100\\$d100\\$d100"
want=$(tabs <<END
$LW|
$DIR755

$LW\\$d100|
$DIR755

$LW\\$d100\\$d100|
$DIR755

$LW\\$d100\\$d100\\$d100|
$DIR755

$deepest|
$DIR755

$deepest\bottom.txt|
$FILE600

END
)$'\n\n'
expect_text "long paths: every level, down to a path of $((${#deepest} + 11))" \
  "$want" "$out"
expect_text "long paths: nothing failed" "" \
  "$(grep -a -i 'failed' "$work/long.log")"

# --- A directory link loop ---------------------------------------------------
# Unix links that Wine shows as directory reparse points: up leads back to
# the start, self to sub. Each is reported once and not entered.
J=$work/loop
mkdir -p "$J/sub"
ln -s .. "$J/sub/up"
ln -s ../sub "$J/sub/self"
chmod 755 "$J" "$J/sub"
JW='C:\vesk-smoke\loop'
run "$JW" /readacl /s '/l:C:\vesk-smoke\loop.log'
expect_rc "link loop: exit" 0
expect_text "link loop: each directory once" "$JW
$JW\\sub
$JW\\sub\\self
$JW\\sub\\up" "$(grep -a -v $'^\t' <<<"$out" | grep -a -v '^$' | cut -f1)"
expect_text "link loop: logged" \
  "Directory already entered above, not entered again: $JW\\sub\\self
Directory already entered above, not entered again: $JW\\sub\\up" \
  "$(log_groups "$work/loop.log" | grep -a 'already entered')"

# --- Objects that cannot be read, and a path past MAX_PATH -------------------
missing='C:\vesk-smoke\nothing-here'
run "$missing" /readacl /s '/l:C:\vesk-smoke\missing.log'
expect_rc "missing path" 0
expect_text "missing path: nothing on standard output" "" "$out"
expect_text "missing path: log" "Logfile created by VESK:

GetNamedSecurityInfo () failed for: $missing
GetNamedSecurityInfo () error: 2
FindFirstFile () failed for: $missing
FindFirstFile () error: 3" "$(log_groups "$work/missing.log")"

name250=$(printf 'x%.0s' {1..250})
touch "$work/$name250"
chmod 644 "$work/$name250"
run "C:\\vesk-smoke\\$name250" /readacl /s
expect_rc "path of 264 characters" 0
expect_text "path of 264 characters: its block, nothing to list" \
  "$(printf '%s\t\n' "C:\\vesk-smoke\\$name250"; tabs <<<"$FILE644")"$'\n\n' \
  "$out"

if ((failures > 0)); then
  echo "smoke: $failures check(s) failed" >&2
  exit 1
fi
echo "smoke: all checks passed"

#!/usr/bin/env bash
# Smoke test of the Windows build under Wine: runs vesk.exe from a copy inside
# the prefix's drive C: and checks exit codes, output bytes and the log.
# Usage: smoke.sh path/to/vesk.exe   (uses $WINEPREFIX, or a fresh one)
#
# Wine's GetExplicitEntriesFromAclA and LookupSecurityDescriptorPartsA are
# stubs answering 120, so no ACL block can be printed here: the ACL run is
# checked through its log. Wine is no substitute for a test on Windows.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: smoke.sh path/to/vesk.exe}
[[ -f $exe ]] || {
  echo "smoke: no such file: $exe" >&2
  exit 1
}

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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

# --- ACL run over a small tree, through its log -----------------------------
tree=$work/t
mkdir -p "$tree/a/deep" "$tree/b"
touch "$tree/top.txt" "$tree/a/in-a.txt" "$tree/b/in-b.txt" \
  "$tree/a/deep/in-deep.txt"
run 'C:\vesk-smoke\t' /readacl /s:2 /f '/l:C:\vesk-smoke\run.log'
expect_rc "/readacl /s:2 /f" 0
expect_text "/readacl /s:2 /f: nothing on standard output" "" "$out"

log=$work/run.log
if [[ ! -f $log ]]; then
  fail "/readacl /s:2 /f: no log"
else
  # Splits the log into groups (a blank line, then the object's lines) and
  # checks each; prints the objects in log order.
  objects=$(sed 's/\r$//' "$log" | awk '
    function bad(why) { print "BAD " why; errors++ }
    function close_group() {
      if (n == 0) return
      if (n != 3) bad("group of " n " lines for " path)
      if (msg[2] != "pDACL present") bad("second line " msg[2])
      if (msg[3] !~ /^(GetExplicitEntriesFromAcl|LookupSecurityDescriptorParts) \(\) failed: 0x00000078$/)
        bad("third line " msg[3])
      print path
      n = 0
    }
    NR == 1 { if ($0 != "Logfile created by VESK:") bad("header " $0); next }
    $0 == "" { close_group(); started = 1; next }
    {
      if (!started) { bad("line before any group: " $0); next }
      if (!match($0, /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\t/)) {
        bad("no stamp: " $0); next
      }
      stamp = substr($0, 1, RLENGTH)
      if (n == 0) first = stamp
      else if (stamp != first) bad("stamps differ within a group: " $0)
      msg[++n] = substr($0, RLENGTH + 1)
      if (n == 1) {
        prefix = "GetSecurityDescriptorDacl () successfully for: "
        if (index(msg[1], prefix) != 1) bad("first line " msg[1])
        path = substr(msg[1], length(prefix) + 1)
      }
    }
    END { close_group() }')
  if grep -q '^BAD ' <<<"$objects"; then
    fail "/readacl /s:2 /f: log groups"
    grep '^BAD ' <<<"$objects" >&2
  else
    pass "/readacl /s:2 /f: every group is success, present, failure 120"
  fi
  expect_text "/readacl /s:2 /f: starting path first" 'C:\vesk-smoke\t' \
    "$(head -n 1 <<<"$objects")"
  # Depth 2 with /f: the subdirectories two levels down, the files of the
  # start and of its direct subdirectories; nothing inside a\deep.
  want=$(printf '%s\n' 'C:\vesk-smoke\t' 'C:\vesk-smoke\t\a' \
    'C:\vesk-smoke\t\a\deep' 'C:\vesk-smoke\t\a\in-a.txt' \
    'C:\vesk-smoke\t\b' 'C:\vesk-smoke\t\b\in-b.txt' \
    'C:\vesk-smoke\t\top.txt' | LC_ALL=C sort)
  expect_text "/readacl /s:2 /f: objects reported" "$want" \
    "$(grep -v '^BAD ' <<<"$objects" | LC_ALL=C sort)"
fi

# A path that cannot be read, and one too long for the platform's buffers:
# the group of each stops at the descriptor step.
check_unreadable() {  # NAME PATH LOG
  local got
  got=$(sed 's/\r$//' "$3" 2>/dev/null | sed 's/^[^\t]*\t//' | head -n 3)
  expect_text "$1: log" $'Logfile created by VESK:\n\nGetNamedSecurityInfo () failed for: '"$2" "$got"
  if grep -q 'GetSecurityDescriptorDacl' "$3" 2>/dev/null; then
    fail "$1: went on past the descriptor step"
  fi
}
missing='C:\vesk-smoke\nothing-here'
run "$missing" /readacl '/l:C:\vesk-smoke\missing.log'
expect_rc "missing path" 0
expect_text "missing path: nothing on standard output" "" "$out"
check_unreadable "missing path" "$missing" "$work/missing.log"

long='C:\vesk-smoke\'$(printf 'x%.0s' {1..250})
touch "$work/$(printf 'x%.0s' {1..250})"
run "$long" /readacl '/l:C:\vesk-smoke\long.log'
expect_rc "path of 264 characters" 0
expect_text "path of 264 characters: nothing on standard output" "" "$out"
check_unreadable "path of 264 characters" "$long" "$work/long.log"

if ((failures > 0)); then
  echo "smoke: $failures check(s) failed" >&2
  exit 1
fi
echo "smoke: all checks passed"

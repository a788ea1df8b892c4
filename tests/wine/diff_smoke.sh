#!/usr/bin/env bash
# vesk-diff.exe under Wine: a report that vesk.exe wrote (CRLF, D:\-style
# paths) against the same report in Linux form, then against a copy that
# lost an object. Usage: diff_smoke.sh vesk-diff.exe vesk.exe (in the
# $WINEPREFIX that scripts/windows-build prepared).
set -uo pipefail
diff_exe=${1:?usage: diff_smoke.sh vesk-diff.exe vesk.exe}
vesk_exe=${2:?usage: diff_smoke.sh vesk-diff.exe vesk.exe}
work=${WINEPREFIX:?}/drive_c/diff-smoke
rm -rf "$work"
mkdir -p "$work/tree/sub"
touch "$work/tree/a.txt" "$work/tree/sub/b.txt"
cp "$diff_exe" "$work/vesk-diff.exe"
cp "$vesk_exe" "$work/vesk.exe"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

wine 'C:\diff-smoke\vesk.exe' 'C:\diff-smoke\tree' /readacl /s /f /o \
  >"$work/windows.txt" 2>/dev/null
grep -q $'^C:\\\\diff-smoke\\\\tree\\\\sub\\\\b.txt\t.*\r$' "$work/windows.txt" ||
  fail "vesk.exe wrote no CRLF report of the tree"
# The same report as vesk on Linux prints it: / between names, LF.
sed -e 's/\r$//' -e '/^[^\t]/{s|^C:\\diff-smoke\\tree|/srv/tree|;s|\\|/|g}' \
  "$work/windows.txt" >"$work/linux.txt"
# The same without the last object.
head -n "$(($(grep -n $'^[^\t]' "$work/linux.txt" | tail -1 | cut -d: -f1) - 1))" \
  "$work/linux.txt" >"$work/fewer.txt"

# run WANT-RC ARGS...: sets $out with CRLF turned into LF.
run() {
  local want=$1
  shift
  out=$(wine 'C:\diff-smoke\vesk-diff.exe' "$@" 2>"$work/err" | tr -d '\r')
  local rc=${PIPESTATUS[0]}
  # Status 1 always comes with the differences printed; with nothing on
  # either stream, Wine did not start the program: tried once more.
  if [[ $rc == 1 && -z $out && ! -s $work/err ]]; then
    echo "diff smoke: Wine started nothing for: $*; trying once more"
    out=$(wine 'C:\diff-smoke\vesk-diff.exe' "$@" 2>"$work/err" | tr -d '\r')
    rc=${PIPESTATUS[0]}
  fi
  [[ $rc == "$want" ]] || fail "vesk-diff.exe $*: exit $rc, want $want"
}
run 0 'C:\diff-smoke\windows.txt' 'C:\diff-smoke\linux.txt'
[[ -z $out ]] || fail "the Windows and Linux forms differ: $out"
removed=$(grep $'^[^\t]' "$work/linux.txt" | tail -1 | cut -f1)
run 1 'C:\diff-smoke\windows.txt' 'C:\diff-smoke\fewer.txt'
[[ $out == "-	${removed#/srv/tree/}" ]] || fail "one object removed: got $out"
run 1 'C:\diff-smoke\fewer.txt' 'C:\diff-smoke\windows.txt' /tsv
[[ $out == "+	object	${removed#/srv/tree/}	"* ]] ||
  fail "one object added, /tsv: got $out"
grep -q '^vesk-diff: 1 object added, 0 removed, 0 changed' "$work/err" ||
  fail "no summary: $(cat "$work/err")"

if [[ $failures != 0 ]]; then
  echo "vesk-diff smoke: $failures check(s) failed" >&2
  exit 1
fi
echo "vesk-diff smoke: all passed"

# scripts/sample in a copy of the sources whose build/ holds a tool-only
# build, as the README suggests making one: it still builds what it needs
# and prints the sample's report.
set -u
source "$(dirname "$0")/lib/common.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d)
trap 'ntfs_unmount "$work/src/sample"; rm -rf "$work"' EXIT
mkdir "$work/src"
tar -C "$root" --exclude='./build*' --exclude=./sample --exclude=./.git -cf - . |
  tar -C "$work/src" -xf -
cmake -S "$work/src" -B "$work/src/build" -DCMAKE_BUILD_TYPE=Release \
  -DVESK_TESTS=OFF >/dev/null || fail "tool-only configure"
"$work/src/scripts/sample" >"$work/out" 2>"$work/err"
code=$?
expect_eq "sample exit" 0 "$code"
expect_eq "sample stderr" "" "$(cat "$work/err")"
D=$work/src/sample/mnt/Data
expect_eq "sample report" "$D	<not inherited>	Owner: Administrators" \
  "$(grep -m 1 "^$D	" "$work/out")"
expect_eq "sample log" "Logfile created by VESK:" \
  "$(grep -m 1 '^Logfile' "$work/out")"

finish

# scripts/sample in a copy of the sources whose build/ holds a tool-only
# build, as the README suggests making one: it still builds what it needs
# and prints the sample's report, of the mount and of the image; then with
# /dev/fuse hidden, where it reads the volume it ships.
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
S=$work/src/sample
expect_eq "sample report of the mount" "$S/mnt/Data	<not inherited>	Owner: Administrators" \
  "$(grep -m 1 "^$S/mnt/Data	" "$work/out")"
expect_eq "sample report of the image" "$S/image/Data	<not inherited>	Owner: Administrators" \
  "$(grep -m 1 "^$S/image/Data	" "$work/out")"
expect_eq "sample log" "Logfile created by VESK:" \
  "$(grep -m 1 '^Logfile' "$work/out")"

# The volume shipped for machines without FUSE is the one the script makes.
VESK=$work/src/build-sample/vesk
xz -dc "$root/scripts/sample.ntfs.xz" >"$work/shipped"
expect_eq "shipped sample is current" \
  "$("$VESK" "$S/image/Data" /readacl /s /o /f | sed "s|^$S/image/|V/|")" \
  "$("$VESK" "$work/shipped/Data" /readacl /s /o /f | sed "s|^$work/shipped/|V/|")"

# Without FUSE (here /dev/fuse hidden), the shipped volume is read.
unshare --mount sh -c 'mount --bind /dev/null /dev/fuse && exec "$0"' \
  "$work/src/scripts/sample" >"$work/out" 2>"$work/err"
code=$?
expect_eq "sample without FUSE exit" 0 "$code"
expect_eq "sample without FUSE stderr" "" "$(cat "$work/err")"
expect_eq "sample without FUSE report" "$S/image/Data	<not inherited>	Owner: Administrators" \
  "$(grep -m 1 "^$S/image/Data	" "$work/out")"
grep -q "^$S/mnt/" "$work/out" && fail "sample without FUSE: a mount is reported"

finish

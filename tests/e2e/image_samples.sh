# Volumes that Windows made (../shared/ntfs-samples beside the repository):
# the direct reader against ntfs-3g mounting the same partition. Reports a
# skip when the samples are absent.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"
source "$(dirname "$0")/lib/images.sh"
samples=$(cd "$(dirname "$0")/../.." && pwd)/../shared/ntfs-samples
if ! ls "$samples"/*.raw.gz >/dev/null 2>&1; then
  echo "SKIP: no samples in $samples"
  exit 77
fi
if [ "${VESK_IMAGES_BUILT:-0}" != 1 ]; then
  echo "SKIP: built without libntfs-3g (images.sh checks that build)"
  exit 77
fi
ntfs_require
images_require

work=$(mktemp -d)
trap 'ntfs_unmount "$work"; rm -rf "$work"' EXIT
M=$work/mnt
mkdir -p "$M"

for sample in "$samples"/*.raw.gz; do
  name=$(basename "$sample" .gz)
  disk=$work/$name
  gunzip -c "$sample" >"$disk"
  # The one partition, copied out for the mount: the sample stays as it is.
  start=$(sfdisk -d "$disk" | sed -n 's/.*start= *\([0-9]*\).*type=7.*/\1/p')
  dd if="$disk" of="$work/partition" bs=512 skip="$start" status=none
  before=$(sha256sum <"$disk")
  ntfs-3g -o ro "$work/partition" "$M" >/dev/null 2>&1 ||
    { fail "$name: ntfs-3g cannot mount it"; continue; }
  "$VESK" "$M" /readacl /s /f /o "/l:$work/mounted.log" >"$work/mounted"
  ntfs_unmount "$work"
  expect_eq "$name: objects found" 1 \
    "$([ "$(grep -c '^/' "$work/mounted")" -ge 5 ] && echo 1)"
  for path in "$disk" "$disk@1"; do
    out=$("$VESK" "$path" /readacl /s /f /o "/l:$work/direct.log" \
      2>"$work/err")
    expect_eq "$path: exit" 0 "$?"
    expect_eq "$path: report" "$(with_prefix "$M" "$path" <"$work/mounted")" \
      "$out"
    expect_eq "$path: stderr" "" "$(cat "$work/err")"
    expect_eq "$path: log" \
      "$(log_body "$work/mounted.log" | sed "s|$M|$path|g")" \
      "$(log_body "$work/direct.log")"
  done
  expect_eq "$name: unchanged" "$before" "$(sha256sum <"$disk")"
done
finish

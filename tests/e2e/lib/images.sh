# Shared by the disk-image tests: disks built around a volume image, and
# reports compared apart from their path prefix.
# Usage: source this after common.sh.

images_require() {
  local missing=""
  for tool in mkntfs sfdisk sha256sum qemu-img qemu-io; do
    command -v "$tool" >/dev/null || PATH="$PATH:/usr/sbin:/sbin"
    command -v "$tool" >/dev/null || missing="$missing $tool"
  done
  if [ -n "$missing" ]; then
    echo "FAIL: disk images cannot be made here; missing:$missing" >&2
    exit 1
  fi
}

# mbr_disk OUT VOLUME: VOLUME as the one primary partition of an MBR disk.
mbr_disk() {
  local sectors=$(($(stat -c %s "$2") / 512))
  truncate -s $(((2048 + sectors + 2048) * 512)) "$1"
  printf 'label: dos\nstart=2048, size=%d, type=7\n' "$sectors" |
    sfdisk -q "$1" >/dev/null
  dd if="$2" of="$1" bs=1M seek=1 conv=notrunc status=none
}

# extended_disk OUT VOLUME: VOLUME as logical partition 5, behind a Linux
# primary partition and inside an extended one.
extended_disk() {
  local sectors=$(($(stat -c %s "$2") / 512))
  truncate -s $(((6144 + sectors + 2048) * 512)) "$1"
  printf 'label: dos\nstart=2048, size=2048, type=83\nstart=4096, size=%d, type=5\nstart=6144, size=%d, type=7\n' \
    $((sectors + 2048)) "$sectors" | sfdisk -q "$1" >/dev/null
  dd if="$2" of="$1" bs=1M seek=3 conv=notrunc status=none
}

# gpt_disk OUT VOLUME: VOLUME as partition 2 of 3 of a GPT disk.
gpt_disk() {
  local sectors=$(($(stat -c %s "$2") / 512))
  truncate -s $(((4096 + sectors + 2048 + 2048) * 512)) "$1"
  printf 'label: gpt\nstart=2048, size=2048, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4\nstart=4096, size=%d, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\nstart=%d, size=2048, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4\n' \
    "$sectors" $((4096 + sectors)) | sfdisk -q "$1" >/dev/null
  dd if="$2" of="$1" bs=1M seek=2 conv=notrunc status=none
}

# with_prefix FROM TO: the report on stdin with the path prefix of its
# header lines changed (entry lines start with a tab and keep theirs).
with_prefix() {
  awk -v from="$1" -v to="$2" '
    substr($0, 1, 1) != "\t" && index($0, from) == 1 {
      $0 = to substr($0, length(from) + 1)
    }
    { print }'
}

# log_body FILE: the log without its time stamps.
log_body() { cut -f2- "$1"; }

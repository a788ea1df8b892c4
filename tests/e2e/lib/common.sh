# Shared by the end-to-end scripts: checks, and a real NTFS volume.
# Usage: source this, with VESK and MAKE_DESCRIPTOR set.

failures=0
skips=()

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq NAME EXPECTED ACTUAL
expect_eq() {
  if [ "$2" != "$3" ]; then
    fail "$1"
    diff <(printf '%s' "$2") <(printf '%s' "$3") | head -40 >&2
  fi
}

# skip REASON: a check that cannot run here. The script still runs its
# other checks, then reports itself skipped (exit 77, CTest's
# SKIP_RETURN_CODE), never passed.
skip() {
  echo "SKIP: $*" >&2
  skips+=("$*")
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  if [ ${#skips[@]} -ne 0 ]; then
    echo "skipped: $(printf '%s; ' "${skips[@]}")" >&2
    exit 77
  fi
  echo "all checks passed"
}

# The volume cannot be faked: without it the test must fail, not pass.
ntfs_require() {
  local missing=""
  [ "$(id -u)" = 0 ] || missing="$missing root"
  [ -e /dev/fuse ] || missing="$missing /dev/fuse"
  for tool in mkntfs ntfs-3g setfattr getfattr; do
    command -v "$tool" >/dev/null || PATH="$PATH:/usr/sbin:/sbin"
    command -v "$tool" >/dev/null || missing="$missing $tool"
  done
  if [ -n "$missing" ]; then
    echo "FAIL: an NTFS volume cannot be made here; missing:$missing" >&2
    exit 1
  fi
}

# ntfs_mount DIR [DRIVER]: a fresh 32 MB NTFS volume mounted at DIR/mnt, by
# ntfs-3g or the DRIVER given (lowntfs-3g finds a name by its directory, not
# by the whole path, which deep trees need).
ntfs_mount() {
  local driver=${2:-ntfs-3g}
  ntfs_require
  command -v "$driver" >/dev/null ||
    { echo "FAIL: $driver is not installed" >&2; exit 1; }
  mkdir -p "$1/mnt"
  rm -f "$1/image"
  truncate -s 32M "$1/image"
  mkntfs -F -Q -q "$1/image" >/dev/null 2>&1
  "$driver" -o permissions "$1/image" "$1/mnt" >/dev/null 2>&1 ||
    { echo "FAIL: $driver could not mount $1/image" >&2; exit 1; }
}

# block_paths: the paths of the blocks of a report on standard input.
block_paths() {
  grep -v '^	' | grep -v '^$' | cut -f1
}

ntfs_unmount() {
  if mountpoint -q "$1/mnt" 2>/dev/null; then
    umount "$1/mnt" 2>/dev/null || fusermount -u "$1/mnt"
  fi
}

# set_acl PATH WORD...: stores the descriptor that make_descriptor builds.
set_acl() {
  local path=$1
  shift
  setfattr -n system.ntfs_acl -v "$("$MAKE_DESCRIPTOR" "$@")" "$path"
}

# expect_same NAME FILE-EXPECTED FILE-ACTUAL: byte for byte, trailing
# newlines included.
expect_same() {
  if ! cmp -s "$2" "$3"; then
    fail "$1"
    diff "$2" "$3" | head -40 >&2
  fi
}

# flat_to_blocks OWNER-LABEL: the blocks that /tsv lines on stdin stand for,
# by the rules of a block ("" label: a run without /o). Consecutive lines of
# one path make one block; a line without seven columns fails.
flat_to_blocks() {
  LC_ALL=C awk -F '\t' -v label="$1" '
    NF != 7 { printf "line %d has %d columns\n", NR, NF > "/dev/stderr"
              bad = 1; exit 1 }
    !open || $1 != path {
      if (open) printf "\n"
      path = $1; open = 1
      printf "%s\t%s", $1, $2
      if (label != "" && $3 != "") printf "\t%s %s", label, $3
      printf "\n"
    }
    { printf "\t%s\t%s\t", $4, $5
      if ($6 != "") printf "%s\t", $6
      printf "%s\n", $7 }
    END { if (open && !bad) printf "\n" }'
}

# no_descriptor_code DIR: the code logged for an object in DIR that has no
# descriptor: 1350 (none stored) where Samba would keep security.NTACL, 50
# (none kept there) elsewhere.
no_descriptor_code() {
  case $(stat -f -c %T "$1") in
    ext2/ext3 | xfs | btrfs | zfs | tmpfs | overlayfs | f2fs | jfs | reiserfs)
      echo 1350 ;;
    *) echo 50 ;;
  esac
}

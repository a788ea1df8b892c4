# A tree 3,000 levels deep, walked with no more than 64 open files: every
# level is reached, on tmpfs (fast to make; every level logged as having no
# NTFS descriptor) and on an NTFS volume (the first 300 levels byte for byte).
# The files a walk meets are files: none is opened, even one holding NTFS.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"

work=$(mktemp -d)
trap 'cd /; ntfs_unmount "$work"; umount "$work/tmpfs" 2>/dev/null; rm -rf "$work"' EXIT
LEVELS=3000 CHECKED=300

# chain DIR: DIR/d/d/... LEVELS levels below DIR, made a few hundred at a
# time from inside, so that no path handed to the kernel grows long.
chain() {
  local step
  step=$(printf 'd/%.0s' $(seq 500))
  (cd "$1" && for _ in $(seq $((LEVELS / 500))); do
    mkdir -p "$step" && cd -P "$step" || exit 1
  done) || fail "could not make $LEVELS levels below $1"
}

# --- tmpfs: every level's object is logged.
mkdir -p "$work/tmpfs"
mount -t tmpfs -o size=64m,strictatime tmpfs "$work/tmpfs" ||
  fail "no tmpfs could be mounted"

# A file holding an NTFS volume, and a plain one: each logged as having no
# stored descriptor, neither read (their access times stay).
ntfs_require
F=$work/tmpfs/files
mkdir "$F"
truncate -s 8M "$F/volume.img"
mkntfs -F -Q -q "$F/volume.img" >/dev/null 2>&1
head -c 4096 /dev/zero >"$F/plain"
touch -a -d 2001-01-01 "$F/volume.img" "$F/plain"
atimes=$(stat -c %X "$F/volume.img" "$F/plain")
"$VESK" "$F" /readacl /f "/l:$work/files.log" >"$work/files.out"
expect_eq "files: nothing printed" "" "$(cat "$work/files.out")"
expect_eq "files: each logged" "$F/plain|1350 $F/volume.img|1350 $F|1350" \
  "$(awk '/failed for: /{sub(/.*failed for: /, ""); p = $0}
    /error: /{sub(/.*error: /, ""); print p "|" $0}' "$work/files.log" |
    LC_ALL=C sort | paste -sd' ')"
expect_eq "files: never read" "$atimes" \
  "$(stat -c %X "$F/volume.img" "$F/plain")"
T=$work/tmpfs/deep
mkdir -p "$T"
chain "$T"
(ulimit -n 64 && "$VESK" "$T" /readacl /s "/l:$work/tmpfs.log" >/dev/null 2>"$work/err")
expect_eq "tmpfs exit" 0 "$?"
expect_eq "tmpfs levels logged" $((LEVELS + 1)) \
  "$(grep -c "GetNamedSecurityInfo () failed for: $T" "$work/tmpfs.log")"
deepest=$T$(printf '/d%.0s' $(seq $LEVELS))
expect_eq "tmpfs deepest level" 1 \
  "$(grep -c "failed for: $deepest\$" "$work/tmpfs.log")"
expect_eq "tmpfs nothing else failed" "" "$(grep 'FindFirstFile' "$work/tmpfs.log")"

# With no handle left to list a directory, the walk says so in the log
# instead of passing the directory off as empty.
# (Descriptors the test was started with are closed first: the limit counts
# from the lowest free number.)
(
  for fd in $(seq 3 30); do eval "exec $fd>&-"; done
  ulimit -n 4 && "$VESK" "$T" /readacl /s "/l:$work/handles.log" >/dev/null 2>&1
)
expect_eq "out of handles logged" "FindFirstFile () failed for: $T
FindFirstFile () error: 4" "$(grep FindFirstFile "$work/handles.log" | cut -f2-)"

# --- NTFS: the blocks of the first levels byte for byte, then every level.
ntfs_mount "$work" lowntfs-3g
N=$work/mnt/deep
mkdir -p "$N"
chain "$N"
expected=""
p=$N
for i in $(seq 0 $CHECKED); do
  set_acl "$p" control=0x0004 owner=S-1-5-32-544 group=S-1-5-18 \
    "A:0x03:0x1200A9:S-1-5-21-7-7-7-$i"
  expected+="$p	"$'\n\t'"S-1-5-21-7-7-7-$i	A	LRD + REA + EXC + RAT + RC	CI+OI"$'\n\n'
  p=$p/d
done
(ulimit -n 64 && "$VESK" "$N" /readacl /s >"$work/ntfs.out" 2>"$work/err")
expect_eq "NTFS exit" 0 "$?"
expect_eq "NTFS first $CHECKED levels" "$(printf '%s' "$expected")" \
  "$(head -n $((3 * (CHECKED + 1))) "$work/ntfs.out")"
expect_eq "NTFS every level" $((LEVELS + 1)) "$(block_paths <"$work/ntfs.out" | wc -l)"
expect_eq "NTFS deepest block" "$N$(printf '/d%.0s' $(seq $LEVELS))" \
  "$(block_paths <"$work/ntfs.out" | tail -n 1)"
expect_eq "NTFS stderr" "" "$(cat "$work/err")"

finish

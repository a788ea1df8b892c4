# What an unattended audit meets: odd names, deep and long paths, links,
# unreadable directories, closed pipes, full disks, broken configuration.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
source "$(dirname "$0")/lib/common.sh"

work=$(mktemp -d)
chmod 755 "$work"
trap 'ntfs_unmount "$work"; chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
ntfs_mount "$work"
M=$work/mnt
USERS=S-1-5-32-545 SYSTEM=S-1-5-18

# --- Names are data: formats stay as they are, control bytes become \ooo.
N=$M/names
mkdir -p "$N"
long=$(printf 'n%.0s' $(seq 255))
for name in '%s%n%x' "tab	name" $'new\nline' "$long"; do
  mkdir "$N/$name"
  set_acl "$N/$name" control=0x0004 owner=$USERS group=$SYSTEM A:0:1:$USERS
done
out=$("$VESK" "$N" /readacl /s 2>&1 | grep -v '^	' | grep -v '^$' | cut -f1 | sort)
expect_eq "odd names" "$(printf '%s\n' "$N" "$N/%s%n%x" "$N/$long" \
  "$N/new\\012line" "$N/tab\\011name" | sort)" "$out"
# The flat view escapes them the same way: its lines rebuild the blocks.
for o in "" /o; do
  "$VESK" "$N" /readacl /s $o >"$work/names.blocks"
  "$VESK" "$N" /readacl /s $o /tsv | flat_to_blocks "${o:+Owner:}" >"$work/names.rebuilt"
  expect_same "odd names, /tsv rebuilt $o" "$work/names.blocks" "$work/names.rebuilt"
  grep -q '^[^	]*/new\\012line	' "$work/names.rebuilt" || fail "odd names: no escaped block"
done

# A backslash in a name is escaped too, so a tab and the text "\011" print
# differently, and every escape turns back into the byte it stands for.
B=$M/escapes
mkdir -p "$B"
for name in 'tab	here' 'tab\011here' 'back\slash' 'end\'; do
  mkdir "$B/$name"
  set_acl "$B/$name" control=0x0004 owner=$USERS group=$SYSTEM A:0:1:$USERS
done
out=$("$VESK" "$B" /readacl /s | block_paths | sort)
expect_eq "escaped names" "$(printf '%s\n' "$B" "$B/back\\134slash" \
  "$B/end\\134" "$B/tab\\011here" "$B/tab\\134011here" | sort)" "$out"
expect_eq "escapes undone" "$(printf '%s\n' "$B" "$B"/* | sort)" \
  "$(printf '%s\n' "$out" | perl -pe 's/\\([0-7]{3})/chr(oct($1))/ge' | sort)"

# --- A tree 300 levels deep, and paths beyond 4096 bytes.
# (ntfs-3g slows down steeply with depth, so the deep tree is on the host's
# file system: every level is logged as having no NTFS descriptor.)
D=$work/deep
mkdir -p "$D"
(cd "$D" && for i in $(seq 300); do mkdir d && cd d; done)
"$VESK" "$D" /readacl /s "/l:$work/deep.log"
expect_eq "300 levels" 301 "$(grep -c "failed for: $D" "$work/deep.log")"
L=$M/long
mkdir -p "$L"
(cd "$L" && for i in $(seq 22); do
  p=$(printf "%0200d" "$i")
  mkdir "$p" && cd "$p"
done && touch end.txt)
out=$("$VESK" "$L" /readacl /s /f "/l:$work/long.log" | grep -v '^	' | grep -v '^$' | cut -f1 | tail -1)
expect_eq "path beyond 4096 bytes, whole" "end.txt" "${out##*/}"
[ ${#out} -gt 4096 ] || fail "the deepest path is only ${#out} bytes"
expect_eq "long paths read" "" "$(grep 'failed' "$work/long.log")"
"$VESK" "$L" /readacl /s /f /o >"$work/long.blocks"
"$VESK" "$L" /readacl /s /f /o /tsv | flat_to_blocks "Owner:" >"$work/long.rebuilt"
expect_same "long paths, /tsv rebuilt" "$work/long.blocks" "$work/long.rebuilt"

# --- Links are never entered: a loop ends.
K=$M/links
mkdir -p "$K/sub"
ln -s .. "$K/sub/up"
ln -s "$K" "$K/self"
out=$(timeout 20 "$VESK" "$K" /readacl /s /f | grep -v '^	' | grep -v '^$' | cut -f1 | sort)
expect_eq "link loop" "$(printf '%s\n' "$K" "$K/self" "$K/sub" "$K/sub/up" | sort)" "$out"

# A start given through a link is its target, and keeps its path in the
# blocks below it.
ln -s "$K" "$work/via-link"
out=$("$VESK" "$work/via-link" /readacl /s:1 | grep -v '^	' | grep -v '^$' | cut -f1 | sort)
expect_eq "paths below a link" "$(printf '%s\n' "$work/via-link" \
  "$work/via-link/self" "$work/via-link/sub" | sort)" "$out"

# --- A directory that cannot be read ends its level; the rest goes on.
T=$work/plain
mkdir -p "$T/a" "$T/locked/inner" "$T/z" "$T/wx/inner" "$T/empty"
chmod -R 755 "$T"
chmod 000 "$T/locked"
chmod 0311 "$T/wx"
mkdir -m 777 "$work/logs"
setpriv --reuid=65534 --regid=65534 --clear-groups \
  "$VESK" "$T" /readacl /s "/l:$work/logs/locked.log" >/dev/null 2>&1
code=$?
expect_eq "unreadable directory exit" 0 "$code"
expect_eq "every reachable object logged" \
  "$(printf '%s\n' "$T" "$T/a" "$T/empty" "$T/locked" "$T/wx" "$T/z" | sort)" \
  "$(grep -o 'GetNamedSecurityInfo () failed for: .*' "$work/logs/locked.log" |
    cut -d' ' -f5- | sort)"
# A directory that cannot be listed says so right after its own group (5:
# access denied); an empty one and the others say nothing more. The files
# here have no NTFS descriptor (50, or 1350 where Samba's could be stored).
log=$(sed 's/^[^\t]*\t//' "$work/logs/locked.log")
no_descriptor=$(no_descriptor_code "$T")
for dir in locked wx; do
  expect_eq "unlisted $dir: its group" "GetNamedSecurityInfo () failed for: $T/$dir
GetNamedSecurityInfo () error: $no_descriptor
FindFirstFile () failed for: $T/$dir
FindFirstFile () error: 5" \
    "$(grep -x -A4 "GetNamedSecurityInfo () failed for: $T/$dir" <<<"$log")"
done
expect_eq "only the unlisted ones say FindFirstFile" 4 \
  "$(grep -c 'FindFirstFile' "$work/logs/locked.log")"

# --- A closed pipe stops the run: exit 1 and a message, no silent death.
P=$M/many
mkdir -p "$P"
(cd "$P" && touch $(seq -f 'file%04g' 3000))
"$VESK" "$P" /readacl /f 2>"$work/err" | head -1 >/dev/null
code=${PIPESTATUS[0]}
expect_eq "closed pipe exit" 1 "$code"
expect_eq "closed pipe message" "vesk: error writing standard output" "$(cat "$work/err")"

# A closed standard output: the report must not slip into the log.
"$VESK" "$N" /readacl /s "/l:$work/closed.log" >&- 2>"$work/err"
code=$?
expect_eq "closed output exit" 1 "$code"
expect_eq "closed output message" "vesk: error writing standard output" "$(cat "$work/err")"
expect_eq "closed output, log only" "" "$(grep '^	' "$work/closed.log")"

# --- A log on a full disk: said, exit 1; the report unaffected.
expected=$("$VESK" "$N" /readacl /s)
out=$("$VESK" "$N" /readacl /s /l:/dev/full 2>"$work/err")
code=$?
expect_eq "full log exit" 1 "$code"
expect_eq "full log report" "$expected" "$out"
expect_eq "full log message" "vesk: error writing the log file" "$(cat "$work/err")"

# --- A configuration file that cannot be used leaves the defaults.
mkdir -p "$work/bin"
cp "$VESK" "$work/bin/vesk"
chmod 755 "$work/bin" "$work/bin/vesk"
defaults=$("$VESK" /show)
mkdir "$work/bin/vesk.cfg"
expect_eq "directory as configuration" "$defaults" "$("$work/bin/vesk" /show 2>&1)"
rmdir "$work/bin/vesk.cfg"
printf '[Access Mode]\n00=Allow\n' >"$work/bin/vesk.cfg"
chmod 000 "$work/bin/vesk.cfg"
out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$work/bin/vesk" /show 2>&1)
expect_eq "unreadable configuration" "$defaults" "$out"
head -c 100000000 /dev/urandom >"$work/bin/vesk.cfg"
chmod 644 "$work/bin/vesk.cfg"
"$work/bin/vesk" /show >"$work/show" 2>"$work/err"
code=$?
expect_eq "binary configuration exit" 0 "$code"
expect_eq "binary configuration listing end" "SE_SELF_RELATIVE	32768" "$(tail -1 "$work/show")"
[ "$(wc -l <"$work/err")" -le 1 ] || fail "more than one alert for one bad file"

finish

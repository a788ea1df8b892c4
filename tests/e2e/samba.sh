# The descriptors that Samba stores in security.NTACL, read on the server's
# own file systems (an ext4 image and a tmpfs) and set beside what Samba
# itself serves to clients (smbcacls against a smbd started here), with
# local accounts named through a winbindd started here, and hostile
# attributes. Everything runs in private network, mount and PID namespaces:
# the servers listen on that namespace's 127.0.0.1 only, and every process
# started here (smbd starts samba-dcerpcd and its rpcd_* workers on demand,
# which leave smbd's process group) is stopped at the end and in any case
# killed by the kernel when the namespace's first process, this script,
# exits.
set -u
VESK=$(realpath "$1")
MAKE_DESCRIPTOR=$(realpath "$2")
DUMP=$(realpath "$3")
source "$(dirname "$0")/lib/common.sh"
source "$(dirname "$0")/lib/namespace.sh"
PATH=$PATH:/usr/sbin:/sbin
PY=/usr/bin/python3  # Debian's, where python3-samba lives

skip() {
  echo "SKIP: $*" >&2
  exit 77
}

if [ -z "${VESK_SAMBA_NAMESPACE:-}" ]; then
  [ "$(id -u)" = 0 ] || skip "needs root (namespaces, loop mount, Samba's tools)"
  missing=""
  for tool in unshare ip smbd winbindd smbcacls samba-tool net pdbedit \
    smbpasswd wbinfo setfattr getfattr mkfs.ext4 useradd userdel strace; do
    command -v "$tool" >/dev/null || missing="$missing $tool"
  done
  "$PY" -c 'import samba.dcerpc.xattr' 2>/dev/null || missing="$missing python3-samba"
  [ -z "$missing" ] || skip "missing:$missing (scripts/setup installs them)"
  VESK_SAMBA_NAMESPACE=1 exec unshare --net --mount --propagation private \
    --pid --fork --mount-proc --kill-child bash "$0" "$@"
fi

work=$(mktemp -d /tmp/vesk-samba.XXXXXX)
chmod 755 "$work"
pids=()
users=()
cleanup() {
  local pid left
  for pid in "${pids[@]}"; do kill -CONT "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  # What smbd started without us: samba-dcerpcd and its workers, whatever
  # else runs in this namespace, whose first process this script is.
  left=()
  [ $$ = 1 ] && for _ in $(seq 50); do
    mapfile -t left < <(others_here)
    [ ${#left[@]} -eq 0 ] && break
    kill "${left[@]}" 2>/dev/null
    sleep 0.1
  done
  [ ${#left[@]} -eq 0 ] || kill -KILL "${left[@]}" 2>/dev/null
  umount "$work/ext4" "$work/tmpfs" /run/samba/winbindd 2>/dev/null
  # -f: smbd's connection processes, run as these users, may still be exiting.
  for u in "${users[@]}"; do userdel -f "$u" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

ip link set lo up || skip "cannot bring up the loopback of a network namespace"
mkdir -p "$work/wbsock" /run/samba/winbindd
# libwbclient asks the socket in its built-in place: give this namespace its
# own, so that no other winbindd on the machine is met.
mount --bind "$work/wbsock" /run/samba/winbindd

mkdir -p "$work/ext4" "$work/tmpfs"
truncate -s 96M "$work/ext4.img"
# ea_inode: attributes beyond one block, for the 1,000-entry DACL.
mkfs.ext4 -q -F -O ea_inode "$work/ext4.img" ||
  { echo "FAIL: mkfs.ext4" >&2; exit 1; }
mount -o loop "$work/ext4.img" "$work/ext4" ||
  skip "cannot loop-mount an ext4 image here"
mount -t tmpfs -o size=64m tmpfs "$work/tmpfs" ||
  { echo "FAIL: cannot mount a tmpfs" >&2; exit 1; }
mkdir -p "$work/ext4/share" "$work/tmpfs/share" "$work/tmpfs/hostile"

# --- A standalone server with two local accounts.
tag=$$
ADMIN=vk${tag}a BOB=vk${tag}b
for u in "$ADMIN" "$BOB"; do
  useradd -M -N -s /usr/sbin/nologin "$u" ||
    { echo "FAIL: useradd $u" >&2; exit 1; }
  users+=("$u")
done
CONF=$work/smb.conf
mkdir -p "$work"/{private,lock,state,cache,run,ncalrpc,logs}
cat >"$CONF" <<EOF
[global]
server role = standalone server
netbios name = VESKTEST
workgroup = VESKGROUP
private dir = $work/private
lock directory = $work/lock
state directory = $work/state
cache directory = $work/cache
pid directory = $work/run
ncalrpc dir = $work/ncalrpc
winbindd socket directory = /run/samba/winbindd
log file = $work/logs/log.%m
interfaces = 127.0.0.1
bind interfaces only = yes
disable netbios = yes
passdb backend = tdbsam
idmap config * : backend = tdb
idmap config * : range = 100000-199999
load printers = no
printcap name = /dev/null
disable spoolss = yes
[ext]
path = $work/ext4/share
vfs objects = acl_xattr
read only = no
admin users = $ADMIN
[tmp]
path = $work/tmpfs/share
vfs objects = acl_xattr
read only = no
admin users = $ADMIN
# The same trees, served as stored whatever the hashes of versions 3 and 4
# say: python3-samba cannot compute the hash smbd checks a version 3 by.
[extstored]
path = $work/ext4/share
vfs objects = acl_xattr
acl_xattr:ignore system acls = yes
admin users = $ADMIN
[tmpstored]
path = $work/tmpfs/share
vfs objects = acl_xattr
acl_xattr:ignore system acls = yes
admin users = $ADMIN
EOF
DOMAIN=S-1-5-21-1-2-3
net -s "$CONF" setlocalsid "$DOMAIN" >/dev/null
net -s "$CONF" setdomainsid "$DOMAIN" >/dev/null
for u in "$ADMIN" "$BOB"; do
  printf 'Passw0rd\nPassw0rd\n' | smbpasswd -c "$CONF" -s -a "$u" >/dev/null ||
    { echo "FAIL: smbpasswd -a $u" >&2; exit 1; }
done
sid_of() { pdbedit -s "$CONF" -L -v "$1" | sed -n 's/^User SID: *//p'; }
ADMIN_SID=$(sid_of "$ADMIN")
BOB_SID=$(sid_of "$BOB")
GONE=$DOMAIN-4242  # no such account: a deleted one
[ -n "$ADMIN_SID" ] && [ -n "$BOB_SID" ] ||
  { echo "FAIL: pdbedit gave no SIDs" >&2; exit 1; }

# --- Attributes made by Samba's own tools.
# v1: samba-tool --use-ntvfs; v4: --use-s3fs (owner and group must map to
# Unix ids); v2 and v3: python3-samba's ndr_pack. v3 carries no hash, which
# smbd takes as stored (its hash would be of the POSIX ACL of the moment).
ntvfs() { samba-tool ntacl set "$2" "$1" --use-ntvfs -s "$CONF" >/dev/null; }
s3fs() {
  samba-tool ntacl set "$3" "$2" --use-s3fs --service="$1" -s "$CONF" \
    >/dev/null 2>&1
}
packed() {
  "$PY" - "$@" <<'EOF'
import os, sys
from samba.dcerpc import security, xattr
from samba.ndr import ndr_pack
path, version, sddl, domain = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
if sddl.startswith("BIG:"):  # BIG:N: N entries of distinct identifiers
    n = int(sddl[4:])
    kinds = ["A;OICI;0x1200a9", "D;;0x00100116", "A;;0x001f01ff"]
    sddl = "O:BAG:SYD:AI" + "".join(
        "(%s;;;S-1-5-21-9-9-9-%d)" % (kinds[i % 3], i) for i in range(n))
sd = security.descriptor.from_sddl(sddl, security.dom_sid(domain))
ntacl = xattr.NTACL()
ntacl.version = version
if version == 2:
    info = xattr.security_descriptor_hash_v2()
    info.hash = [0xA2] * 16
else:
    info = xattr.security_descriptor_hash_v3()
    info.hash_type = xattr.XATTR_SD_HASH_TYPE_NONE
    info.hash = [0] * 64
info.sd = sd
ntacl.info = info
os.setxattr(path, "security.NTACL", ndr_pack(ntacl))
EOF
}
stored_version() {
  getfattr --absolute-names -n security.NTACL -e hex "$1" 2>/dev/null |
    sed -n 's/^security.NTACL=0x\(..\).*/\1/p'
}

make_tree() {  # make_tree SHARE ROOT
  local share=$1 R=$2
  mkdir -p "$R/protected/inheriting" "$R/s3dir"
  touch "$R/protected/inheriting/file" "$R/deny" "$R/object" "$R/s3file" \
    "$R/big" "$R/chmodded" "$R/generic" "$R/local"
  ntvfs "$R/protected" \
    "O:${ADMIN_SID}G:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;$BOB_SID)(D;;WD;;;$GONE)"
  ntvfs "$R/protected/inheriting" \
    "O:BAG:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;$BOB_SID)(A;;FR;;;WD)"
  packed "$R/protected/inheriting/file" 2 \
    "O:BAG:SYD:AI(A;ID;FA;;;BA)(D;;0x10000;;;$ADMIN_SID)(A;ID;0x1200a9;;;$BOB_SID)" "$DOMAIN"
  packed "$R/deny" 3 \
    "O:${BOB_SID}G:SYD:(D;;FA;;;$GONE)(D;OI;0x40000;;;$BOB_SID)(A;;FA;;;$ADMIN_SID)(A;CIIO;GR;;;CO)" "$DOMAIN"
  packed "$R/generic" 3 \
    "O:BAG:SYD:PAI(A;;GA;;;BA)(A;;GR;;;AU)(A;;GRGX;;;$BOB_SID)(A;;GW;;;$ADMIN_SID)(D;;GA;;;AN)" "$DOMAIN"
  ntvfs "$R/object" \
    "O:BAG:SYD:(OA;;CR;00299570-246d-11d0-a768-00aa006e0529;;WD)(OD;CI;RP;bf967a86-0de6-11d0-a285-00aa003049e2;bf967aba-0de6-11d0-a285-00aa003049e2;BU)(A;;FA;;;SY)"
  s3fs "$share" "$R/s3file" \
    "O:${ADMIN_SID}G:S-1-22-2-0D:PAI(A;;FA;;;$ADMIN_SID)(A;;0x1200a9;;;$BOB_SID)(D;;WD;;;WD)"
  s3fs "$share" "$R/s3dir" \
    "O:${BOB_SID}G:S-1-22-2-0D:AI(A;OICI;FA;;;$BOB_SID)(A;OICIID;FR;;;BU)(D;OICI;0x10000;;;$GONE)"
  s3fs "$share" "$R/chmodded" \
    "O:${ADMIN_SID}G:S-1-22-2-0D:P(A;;FA;;;$ADMIN_SID)(D;;FA;;;$BOB_SID)"
  packed "$R/big" 3 "BIG:1000" "$DOMAIN"
  local f expect
  for f in protected:01 protected/inheriting:01 protected/inheriting/file:02 \
    deny:03 generic:03 object:01 s3file:04 s3dir:04 chmodded:04 big:03; do
    expect=${f##*:}
    f=${f%:*}
    expect_eq "$share $f: version written" "$expect" "$(stored_version "$R/$f")"
  done
  # Changed locally after Samba stored its ACL: clients now see another one.
  chmod 604 "$R/chmodded"
}
make_tree ext "$work/ext4/share"
make_tree tmp "$work/tmpfs/share"

# --- Start the servers, each in a process group of its own: a stopping
# smbd signals its whole group.
smbd -s "$CONF" --foreground >/dev/null 2>&1 &
pids+=($!)
winbindd -s "$CONF" --foreground >/dev/null 2>&1 &
winbind_pid=$!
pids+=("$winbind_pid")
up=0
for _ in $(seq 100); do
  if smbcacls -s "$CONF" --numeric //127.0.0.1/tmp deny \
    -U "$ADMIN%Passw0rd" >/dev/null 2>&1 && wbinfo --ping >/dev/null 2>&1
  then
    up=1
    break
  fi
  sleep 0.2
done
if [ "$up" != 1 ]; then
  echo "FAIL: smbd or winbindd did not come up; their logs:" >&2
  tail -n 20 "$work"/logs/* >&2
  exit 1
fi

cacls() {  # cacls SHARE PATH [--numeric]
  smbcacls -s "$CONF" "${@:3}" "//127.0.0.1/$1" "$2" -U "$ADMIN%Passw0rd" 2>&1
}
# Samba's entries as "SID:ALLOWED|DENIED/0xFLAGS/0xMASK", and VESK's.
samba_entries() {
  cacls "$1" "$2" --numeric | awk -F: '
    function hex(text, i, n) {
      n = 0
      for (i = 3; i <= length(text); ++i)
        n = n * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
      return n
    }
    $1 == "OWNER" { print "OWNER:" $2 }
    $1 == "ACL" {
      split($3, p, "/")
      t = p[1] + 0
      mode = "OTHER"
      if (t == 0 || t == 5 || t == 9 || t == 11) mode = "ALLOWED"
      if (t == 1 || t == 6 || t == 10 || t == 12) mode = "DENIED"
      printf "ACL:%s:%s/0x%x/%s\n", $2, mode, hex(p[2]) % 32, p[3]
    }'
}
vesk_entries() { "$DUMP" "$1" | grep -v '^FILE '; }

# --- Samba as the oracle, object by object over both trees.
for share in ext tmp; do
  case $share in
    ext) R=$work/ext4/share ;;
    tmp) R=$work/tmpfs/share ;;
  esac
  compared=0
  while IFS= read -r object; do
    rel=${object#"$R"/}
    case $rel in chmodded | local) continue ;; esac
    served_by=$share
    [ "$(stored_version "$object")" = 03 ] && served_by=${share}stored
    expected=$(samba_entries "$served_by" "$rel")
    [ -n "$expected" ] || fail "$share $rel: smbcacls gave nothing"
    expect_eq "$share $rel: entries as Samba serves them" "$expected" \
      "$(vesk_entries "$object")"
    compared=$((compared + 1))
  done < <(find "$R" -mindepth 1)
  expect_eq "$share: objects compared" 9 "$compared"

  # What VESK prints: the same trustees (named as Samba names them, without
  # the domain) and allow/deny, for every object of the tree at once.
  # Samba writes some well-known names in other letter case than Windows
  # does ("Creator Owner"): names are compared ignoring case.
  "$VESK" "$R" /readacl /s /f /o "/l:$work/$share.log" >"$work/$share.out"
  blocks=$(grep -c "^$R" "$work/$share.out")
  expect_eq "$share: blocks printed" 10 "$blocks"
  for rel in protected protected/inheriting/file deny generic s3dir; do
    expected=$(cacls "${share}stored" "$rel" | awk -F: '$1 == "ACL" {
        name = $2; sub(/.*\\/, "", name)
        print tolower(name) "\t" ($3 ~ /^DENIED/ ? "D" : "A") }' | sort)
    actual=$(awk -v p="$R/$rel" -F '\t' '
        index($0, p "\t") == 1 { on = 1; next }
        on && $0 == "" { exit }
        on { print tolower($2) "\t" $3 }' "$work/$share.out" | sort)
    expect_eq "$share $rel: trustees and modes as Samba names them" \
      "$expected" "$actual"
  done
  owner=$(grep "^$R/protected	" "$work/$share.out" | cut -f3)
  expect_eq "$share: owner named through winbindd" "Owner: $ADMIN" "$owner"

  # Created locally, not through Samba: no stored descriptor, a code of its
  # own, nothing printed.
  grep -q "^$R/local" "$work/$share.out" && fail "$share: a block for local"
  grep -A1 "failed for: $R/local\$" "$work/$share.log" | grep -q 'error: 1350$' ||
    fail "$share: local not logged with 1350"

  # The file changed locally after Samba stored its ACL: VESK reports the
  # stored descriptor; smbd no longer does, its hash of the POSIX ACL being
  # stale, and serves one derived from the mode bits instead, with Unix
  # users and groups (S-1-22-...) that the stored one does not name.
  stored=$(vesk_entries "$R/chmodded")
  served=$(samba_entries "$share" chmodded)
  expect_eq "$share chmodded: VESK reports what is stored" \
    "$(printf 'OWNER:%s\nACL:%s:ALLOWED/0x0/0x000001ff\nACL:%s:DENIED/0x0/0x000001ff' \
      "$ADMIN_SID" "$ADMIN_SID" "$BOB_SID")" "$stored"
  [ "$stored" != "$served" ] || fail "$share chmodded: smbd still serves the stored ACL"
  grep -q '^ACL:S-1-22-\|^ACL:S-1-1-0:' <<<"$served" ||
    fail "$share chmodded: smbd's derived ACL has no POSIX trustee: $served"
  echo "$share chmodded: smbcacls now shows"; sed 's/^/  /' <<<"$served"
  grep -q "$BOB_SID" <<<"$served" &&
    fail "$share chmodded: the stored deny entry still served"
done

# Reading security.* needs no privilege: an unprivileged user gets the same
# block as root.
as_root=$("$VESK" "$work/tmpfs/share/deny" /readacl)
[ -n "$as_root" ] || fail "no block for deny"
expect_eq "unprivileged reader" "$as_root" \
  "$(setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$VESK" "$work/tmpfs/share/deny" /readacl 2>&1)"

# The 1,000-entry DACL, entry for entry.
big=$(vesk_entries "$work/ext4/share/big" | grep -c '^ACL:')
expect_eq "1,000 entries read" 1000 "$big"

# --- Names when winbindd does not answer. Every step towards winbindd
# (looking for its socket, connecting) is counted: the whole tree,
# with its thousand and more distinct unnamed identifiers, must cost what
# one question costs.
towards_winbindd() {  # towards_winbindd VARIABLE ARGUMENT...
  local variable=$1
  shift
  # LeakSanitizer cannot run under ptrace; the other runs here check leaks.
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    strace -f -qq -e trace=%file,%network -o "$work/trace" \
    timeout 100 "$VESK" "$@" >"$work/trace.out"
  local code=$?
  [ "$code" = 0 ] || fail "vesk $*: exit $code (124: still waiting for winbindd)"
  printf -v "$variable" '%s' "$(grep -c 'winbindd' "$work/trace")"
}
# Hung: the daemon holds its socket but answers nothing (stopped by a
# signal). libwbclient alone would wait minutes for each question.
kill -STOP "$winbind_pid"
towards_winbindd one "$work/ext4/share/deny" /readacl
towards_winbindd all "$work/ext4/share" /readacl /s /f /o
[ "$one" -ge 1 ] || fail "hung winbindd: no attempt to reach it was seen"
expect_eq "hung winbindd: the tree as one question" "$one" "$all"
owner=$(grep "^$work/ext4/share/protected	" "$work/trace.out" | cut -f3)
expect_eq "hung winbindd: owner in S-1-... form" "Owner: $ADMIN_SID" "$owner"
echo "hung winbindd: $all step(s) towards it in the whole run, $one for one file"
kill -CONT "$winbind_pid"

# Stopped: the S-1-... forms, and winbindd asked once in the whole run.
kill "$winbind_pid"
wait "$winbind_pid" 2>/dev/null
for _ in $(seq 50); do wbinfo --ping >/dev/null 2>&1 || break; sleep 0.1; done
towards_winbindd one "$work/ext4/share/deny" /readacl
towards_winbindd all "$work/ext4/share" /readacl /s /f /o
cp "$work/trace.out" "$work/nowinbind.out"
owner=$(grep "^$work/ext4/share/protected	" "$work/nowinbind.out" | cut -f3)
expect_eq "owner without winbindd" "Owner: $ADMIN_SID" "$owner"
grep -q "	$BOB_SID	A	" "$work/nowinbind.out" ||
  fail "an entry of $BOB without winbindd is not in S-1-... form"
[ "$one" -ge 1 ] || fail "no attempt to reach winbindd was seen"
expect_eq "attempts to reach winbindd: the tree as one question" "$one" "$all"
echo "without winbindd: $all step(s) towards it in the whole run, $one for one file"
expect_eq "same blocks without winbindd" \
  "$(grep -c "^$work/ext4/share" "$work/ext.out")" \
  "$(grep -c "^$work/ext4/share" "$work/nowinbind.out")"

# --- Hostile attributes: each logged, the neighbour printed, no crash.
H=$work/tmpfs/hostile
good=$(getfattr --absolute-names -n security.NTACL -e hex \
  "$work/tmpfs/share/s3file" | sed -n 's/^security.NTACL=0x//p')
bytes=$((${#good} / 2))
patch() {  # patch AT HEXBYTES: good with the bytes at AT replaced
  printf '%s%s%s' "${good:0:$(($1 * 2))}" "$2" "${good:$(($1 * 2 + ${#2}))}"
}
touch "$H/aaa-good"
setfattr -n security.NTACL -v "0x$good" "$H/aaa-good"
for ((n = 1; n < bytes; ++n)); do
  f=$H/cut$(printf '%04d' "$n")
  touch "$f"
  setfattr -n security.NTACL -v "0x${good:0:$((n * 2))}" "$f"
done
declare -A hostile=(
  [version5]=$(patch 0 05000500)
  [level3]=$(patch 2 0300)
  [null-record]=$(patch 4 00000000)
  [null-descriptor]=$(patch 8 00000000)
  [dacl-past-end]=$(patch $((160 + 16)) ffff0000)
  [owner-past-end]=$(patch $((160 + 4)) 00f00000)
)
for name in "${!hostile[@]}"; do
  touch "$H/$name"
  setfattr -n security.NTACL -v "0x${hostile[$name]}" "$H/$name"
done
touch "$H/zzz-good"
setfattr -n security.NTACL -v "0x$good" "$H/zzz-good"
"$VESK" "$H" /readacl /f "/l:$work/hostile.log" >"$work/hostile.out" 2>"$work/hostile.err"
code=$?
expect_eq "hostile: exit" 0 "$code"
expect_eq "hostile: nothing on standard error" "" "$(cat "$work/hostile.err")"
expect_eq "hostile: the good neighbours printed" \
  "$(printf '%s\n' "$H/aaa-good" "$H/zzz-good")" \
  "$(grep "^$H" "$work/hostile.out" | cut -f1 | sort)"
refused=$(grep -c 'GetNamedSecurityInfo () error: 1338$' "$work/hostile.log")
# One read per object, and the file system asked per directory, not per
# object: the directory's own statfs, once as a parent and once for itself
# (it has no attribute, so it might have been a mount point). Objects that
# are no links are read through getxattr, links as themselves through
# lgetxattr.
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
  strace -f -qq -e trace=getxattr,lgetxattr,statfs -o "$work/calls" \
  "$VESK" "$H" /readacl /f >/dev/null
objects=$(find "$H" | wc -l)
expect_eq "hostile: one read per object" "$objects" \
  "$(grep -cE '^[0-9]* *l?getxattr\(' "$work/calls")"
statfs_calls=$(grep -c '^[0-9]* *statfs(' "$work/calls")
[ "$statfs_calls" -le 3 ] ||
  fail "hostile: $statfs_calls statfs calls for one directory of $objects objects"
expect_eq "hostile: each refused with 1338" \
  "$((bytes - 1 + ${#hostile[@]}))" "$refused"

finish

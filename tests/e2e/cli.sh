# The built binary's command line: usage, listing, exit codes, streams.
set -u
VESK=$(realpath "$1")
source "$(dirname "$0")/lib/common.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

usage='VESK 1.00
Usage:
  vesk path /readacl [/s] [/o] [/f] [/l:logfile] [> output-file]
            /readacl ... reads ACL'"'"'s from path
            /s ......... scans subdirectories in path
            /o ... ..... shows owner of object
            /f ... ..... shows also file ACL'"'"'s
  vesk /show ........... shows NTFS Terms'

for args in "" "/?" "/h" "/H" "some/path"; do
  out=$("$VESK" $args 2>"$work/err"); code=$?
  expect_eq "usage for '$args'" "$usage" "$out"
  expect_eq "exit for '$args'" 0 "$code"
  expect_eq "stderr for '$args'" "" "$(cat "$work/err")"
done

# No action: the alert goes to stderr, stdout stays empty.
out=$("$VESK" some/path /o 2>"$work/err"); code=$?
expect_eq "no action exit" 2 "$code"
expect_eq "no action stdout" "" "$out"
expect_eq "no action alert" \
  "VESK 1.00: No or wrong Action (use /readacl or /grantacl)!" \
  "$(cat "$work/err")"

# A log that cannot be created ends the run at once.
out=$("$VESK" some/path /readacl "/l:$work/no/such/dir/log" 2>"$work/err")
code=$?
expect_eq "bad log exit" 100 "$code"
expect_eq "bad log alert" "VESK 1.00: Could not open Logfile $work/no/such/dir/log !" \
  "$(cat "$work/err")"
out=$("$VESK" some/path /readacl "/l:" 2>/dev/null); code=$?
expect_eq "empty log name exit" 100 "$code"

# Log and no action: the log holds its header only.
"$VESK" some/path "/l:$work/only.log" 2>/dev/null
expect_eq "header-only log" "Logfile created by VESK:" "$(cat "$work/only.log")"

# /grantacl touches nothing.
out=$("$VESK" /nonexistent /grantacl /s 2>&1); code=$?
expect_eq "grant exit" 0 "$code"
expect_eq "grant output" "" "$out"

# The listing, then with a configuration file beside a copy of the binary.
"$VESK" /show >"$work/default.txt"
expect_eq "listing head" "VESK 1.00


[Global Flags]
<inherited>
<not inherited>
Owner:

[Access Mode]
A
D" "$(head -11 "$work/default.txt")"
expect_eq "listing end" "SE_SELF_RELATIVE	32768" "$(tail -1 "$work/default.txt")"

cp "$VESK" "$work/vesk"
printf '; site terms\r\n[access mode]\r\n00=Allow\r\n01=Deny\r\n[Standard Permissions]\r\n0=Full\r\n' \
  >"$work/vesk.cfg"
"$work/vesk" /show >"$work/custom.txt" 2>"$work/err"
expect_eq "custom listing" "$(sed -e 's/^A$/Allow/' -e 's/^D$/Deny/' -e 's/^FC + $/Full + /' "$work/default.txt")" \
  "$(cat "$work/custom.txt")"
expect_eq "custom stderr" "" "$(cat "$work/err")"

printf '[Access Mode]\n01=Deny\n' >"$work/vesk.cfg"
out=$("$work/vesk" /show 2>"$work/err"); code=$?
expect_eq "bad line exit" 0 "$code"
expect_eq "bad line alert" "Error in Line: 01=Deny" "$(cat "$work/err")"
expect_eq "bad line keeps defaults" "$(cat "$work/default.txt")" "$out"

# Objects that could not be read: on a terminal one line says so (here a
# pseudo-terminal, through script); anywhere else standard error stays empty.
on_terminal() {  # ARGS...: what vesk writes to a terminal, report to $work/out
  local command
  command=$(printf '%q ' "$VESK" "$@")
  # What is left on the screen: the text after the last carriage return.
  script -qec "$command >$(printf '%q' "$work/out")" /dev/null |
    tr '\r' '\n' | grep -v '^ *$' | tail -n 1
}
expect_eq "summary on a terminal" \
  "vesk: 1 of 1 object could not be read; /l:FILE logs why" \
  "$(on_terminal /no/such/path /readacl)"
expect_eq "summary with a log" \
  "vesk: 1 of 1 object could not be read; the log says why" \
  "$(on_terminal /no/such/path /readacl /s "/l:$work/summary.log")"
expect_eq "nothing read, nothing summed" "" "$(on_terminal /proc/self /grantacl)"
out=$("$VESK" /no/such/path /readacl /s 2>"$work/err"); code=$?
expect_eq "no terminal exit" 0 "$code"
expect_eq "no terminal, no summary" "" "$(cat "$work/err")"

# Output that cannot be written is a failure, said on stderr.
if [ -w /dev/full ]; then
  "$VESK" /show >/dev/full 2>"$work/err"; code=$?
  expect_eq "full disk exit" 1 "$code"
  expect_eq "full disk message" "vesk: error writing standard output" "$(cat "$work/err")"
else
  skip "full disk: no writable /dev/full"
fi

# So is a log that lost lines part way, on a file system that fills during
# a run of 3,000 objects (a log on /dev/full: e2e/hostile.sh).
if [ "$(id -u)" = 0 ]; then
  mkdir -p "$work/tree/d" "$work/small"
  (cd "$work/tree" && seq 3000 | xargs touch)
  mount -t tmpfs -o size=16k tmpfs "$work/small" &&
    trap 'umount "$work/small"; rm -rf "$work"' EXIT
  "$VESK" "$work/tree" /readacl /s /f "/l:$work/small/log" 2>"$work/err"; code=$?
  expect_eq "filled log exit" 1 "$code"
  expect_eq "filled log message" "vesk: error writing the log file" "$(cat "$work/err")"
  lines=$(wc -l <"$work/small/log")
  [ "$lines" -gt 10 ] && [ "$lines" -lt 3000 ] ||
    fail "the log should stop part way, not at $lines lines"
else
  skip "filled log: a tmpfs needs root"
fi

finish

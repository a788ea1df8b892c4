# For a script that is the first process of a PID namespace of its own
# (unshare --pid --fork --mount-proc): what else still runs in it.

# others_here: the ids of every process of this namespace but this shell
# and the subshell that lists them, one a line; zombies no longer run.
others_here() {
  local dir pid stat
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    [ "$pid" = $$ ] || [ "$pid" = "$BASHPID" ] && continue
    read -r stat <"$dir/stat" 2>/dev/null || continue
    stat=${stat##*) }
    [ "${stat%% *}" = Z ] || echo "$pid"
  done
}

# fuse_mounts: the mount points of FUSE file systems, one a line, sorted.
fuse_mounts() {
  awk '{ for (i = 7; i < NF; ++i) if ($i == "-") break
         if ($(i + 1) ~ /^fuse/) print $5 }' /proc/self/mountinfo |
    LC_ALL=C sort
}

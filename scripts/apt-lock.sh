# shellcheck shell=bash disable=SC2154
# Sourced by the scripts that install packages. A fresh machine often runs
# unattended upgrades in its first minutes: apt_get waits for the package
# manager's locks, up to APT_LOCK_WAIT seconds, saying so, instead of
# stopping at "Could not get lock". Callers set the array sudo first.

APT_LOCK_WAIT=${APT_LOCK_WAIT:-600}
apt_locks=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock /var/cache/apt/archives/lock)

# The first of apt's lock files that a process holds, if any. apt and dpkg
# lock with fcntl, which /proc/locks lists by device and inode.
held_apt_lock() {
  local lock inode
  for lock in "${apt_locks[@]}"; do
    inode=$(stat -c %i "$lock" 2>/dev/null) || continue
    if grep -q ":${inode} " /proc/locks 2>/dev/null; then
      echo "$lock"
      return 0
    fi
  done
  return 1
}

# Sleeps while one of apt's locks is held, until the second deadline (of
# SECONDS), saying what it waits for.
wait_for_apt_locks() {
  local deadline=$1 lock said=0 start=$SECONDS
  while [ "$SECONDS" -lt "$deadline" ] && lock=$(held_apt_lock); do
    if [ "$said" -eq 0 ]; then
      echo "$(basename "$0"): another package installation holds $lock; waiting for it (at most $((deadline - SECONDS)) s)" >&2
      said=1
    elif [ $(((SECONDS - start) % 30)) -eq 0 ]; then
      echo "$(basename "$0"): still waiting for $lock ($((SECONDS - start)) s)" >&2
    fi
    sleep 1
  done
  if [ "$said" -eq 1 ]; then
    echo "$(basename "$0"): waited $((SECONDS - start)) s for the package manager" >&2
  fi
}

# apt-get with its arguments once the locks are free, within APT_LOCK_WAIT
# seconds in all. apt-get itself waits for dpkg's locks (what is left of the
# time), not for the package lists' lock: a failure while a lock is held
# again, taken between the wait and apt's start, waits and tries again.
apt_get() {
  local deadline=$((SECONDS + APT_LOCK_WAIT)) status
  while true; do
    wait_for_apt_locks "$deadline"
    local left=$((deadline - SECONDS))
    [ "$left" -gt 0 ] || left=1
    status=0
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout="$left" "$@" || status=$?
    if [ "$status" -eq 0 ] || [ "$SECONDS" -ge "$deadline" ] || ! held_apt_lock >/dev/null; then
      return "$status"
    fi
  done
}

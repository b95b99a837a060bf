# Package helpers shared by scripts/setup and the cross-build of the Windows dependencies.
# Sourced, not run. Every failure is reported in one line naming the package and the likely
# cause; the caller decides whether it stops set-up.

tev_sudo=""
if [ "$(id -u)" -ne 0 ]; then tev_sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
tev_apt=(-o DPkg::Lock::Timeout=900 -o Acquire::Retries=2)
tev_index_refreshed=${tev_index_refreshed:-0}

# Refreshes the package index, retrying a few times with a pause. A refresh that still fails
# (for example a mirror caught mid-sync) is reported and is not fatal by itself: the lists at
# hand are used, and only a package that then cannot be installed stops set-up.
tev_refresh_index() {
  [ "$tev_index_refreshed" = 1 ] && return 0
  local attempt log
  log=$(mktemp)
  for attempt in 1 2 3; do
    if $tev_sudo apt-get "${tev_apt[@]}" update -qq >"$log" 2>&1 && ! grep -q '^E:' "$log"; then
      tev_index_refreshed=1
      rm -f "$log"
      return 0
    fi
    [ "$attempt" -lt 3 ] && sleep $((attempt * 5))
  done
  echo "setup: the package index did not refresh cleanly after 3 tries; using the lists at hand" \
    "($(grep -m1 -E '^(E|W):' "$log" | cut -c1-200))"
  tev_index_refreshed=1
  rm -f "$log"
  return 0
}

# Prints the packages of the arguments that are not installed yet ("name" or "name:arch").
tev_missing_packages() {
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      echo "$p"
    fi
  done
}

# Installs the packages that are missing. On failure prints one line naming what could not be
# installed and why it most likely failed, and returns non-zero.
tev_install() {
  local missing log
  mapfile -t missing < <(tev_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    $tev_sudo dpkg --add-architecture i386
    tev_index_refreshed=0
  fi
  tev_refresh_index
  echo "setup: installing ${missing[*]}"
  log=$(mktemp)
  if $tev_sudo apt-get "${tev_apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" \
    >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  local cause="see the apt-get output above"
  if grep -q "has no installation candidate\|Unable to locate package" "$log"; then
    cause="not in the package lists (index not refreshed, or the name is wrong)"
  elif grep -q "not going to be installed\|generated breaks\|unmet dependencies" "$log"; then
    cause="unresolvable dependencies: the mirror's indexes are likely out of step (e.g. i386 behind amd64)"
  elif grep -q "Could not get lock" "$log"; then
    cause="another package manager holds the lock"
  elif grep -q "Failed to fetch\|Temporary failure" "$log"; then
    cause="download failed: the mirror is unreachable or mid-sync"
  fi
  tail -n 15 "$log" >&2
  echo "setup: could not install ${missing[*]}: $cause" >&2
  rm -f "$log"
  return 1
}

# Adds a deb-src list derived from the system's own sources at run time, so that `apt-get
# source` works; the system files stay as they are and no host name is written anywhere.
tev_enable_source_packages() {
  local target=/etc/apt/sources.list.d/tev-deb-src.sources tmp
  if [ ! -f "$target" ] && [ ! -f /etc/apt/sources.list.d/tev-deb-src.list ]; then
    tmp=$(mktemp)
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$tmp"
      $tev_sudo cp "$tmp" "$target"
    elif [ -f /etc/apt/sources.list ]; then
      grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' >"$tmp"
      $tev_sudo cp "$tmp" /etc/apt/sources.list.d/tev-deb-src.list
    fi
    rm -f "$tmp"
    tev_index_refreshed=0
  fi
  tev_refresh_index
}

# Unpacks Debian's source package $1 into the folder $2 (skipped when a folder matching $1-*
# is already there). One line and non-zero on failure.
tev_fetch_source() {
  local name=$1 dir=$2
  ls -d "$dir/$name"-*/ >/dev/null 2>&1 && return 0
  tev_install dpkg-dev || return 1
  tev_enable_source_packages
  local log
  log=$(mktemp)
  if ! (cd "$dir" && apt-get "${tev_apt[@]}" source -qq "$name") >"$log" 2>&1; then
    tail -n 5 "$log" >&2
    echo "setup: could not fetch the source package $name: deb-src lists missing or the mirror" \
      "out of step" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

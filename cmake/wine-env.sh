#!/usr/bin/env bash
# Runs a command with Wine ready for the Windows tests, for example:
#   cmake/wine-env.sh cmake --workflow --preset windows
#   cmake/wine-env.sh ctest --preset windows -R HostName
#
# Wine is given a prefix of its own under build/wine, made before any test
# reads a program's standard error (Wine's first start in a prefix prints
# lines of its own). Its server, and the service processes that the first
# program of a session starts, are started here with their output sent to
# /dev/null and live for the whole command: started by a test instead, they
# would hold ctest's output pipes, and every test (or the test listing) would
# wait for them to go away.
#
# Disk names and file names are Shift_JIS bytes, which the narrow (ANSI)
# Windows calls only carry unchanged under the Japanese code page. Wine takes
# its code page from the Unix locale, so a ja_JP.UTF-8 locale is built into
# build/wine too and the command runs under it. D88UNPACK_WINE_LOCALE picks
# another one, such as en_US.UTF-8 (ANSI code page 1252), to see what users
# of a non-Japanese Windows see.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
state="$root/build/wine"

find_wine() {
  local candidate
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" \
                   "$(command -v wine || true)"; do
    if [[ -n "$candidate" && -x "$candidate" ]]; then
      echo "$candidate"
      return
    fi
  done
  echo "wine-env.sh: Wine is not installed" >&2
  exit 1
}

wine="$(find_wine)"
# Debian's wineserver on PATH is a front end chosen by update-alternatives.
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
locale_dir="$state/locale"

# The locale is set for the programs started from here only; this shell
# would only warn that its own C library cannot switch to it on the fly.
locale=${D88UNPACK_WINE_LOCALE:-ja_JP.UTF-8}
in_locale() {
  env LOCPATH="$locale_dir" LC_ALL="$locale" "$@"
}

if [[ ! -d "$locale_dir/$locale" ]]; then
  mkdir -p "$locale_dir"
  localedef -i "${locale%%.*}" -f UTF-8 "$locale_dir/$locale"
fi

mkdir -p "$WINEPREFIX"
# When -p fails a server is already running for this prefix: that one will
# do, and it is left running for whoever started it.
if "$wineserver" -p >/dev/null 2>&1 </dev/null; then
  trap '"$wineserver" -k >/dev/null 2>&1 </dev/null || true' EXIT
fi

# Makes the prefix the first time, and starts this session's services.
[[ -f "$WINEPREFIX/system.reg" ]] ||
  echo "wine-env.sh: creating the Wine prefix $WINEPREFIX"
in_locale "$wine" wineboot -i >"$state/wineboot.log" 2>&1 </dev/null

in_locale "$@"

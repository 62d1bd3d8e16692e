#!/usr/bin/env bash
# Times the Windows build's listing of an image to a pipe under Wine, with
# raw names and with --unicode-names; run inside cmake/wine-env.sh:
#   cmake/wine-env.sh bash bench/windows_listing.sh TOOL.exe IMAGE ROUNDS
set -euo pipefail

tool=$1
image=$(winepath -w "$2" 2>/dev/null || echo "Z:$2")
rounds=$3
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)

now() { date +%s%N; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

list_once() {
  local start
  start=$(now)
  "$wine" "$tool" --list "$image" "$@" | cat >/dev/null
  echo $(($(now) - start))
}

# The two runs take turns, so that whatever else the machine does weighs on
# both alike. Round 0 starts Wine's services and warms the cache, and is
# not counted.
raw_times=()
unicode_times=()
for round in $(seq 0 "$rounds"); do
  raw_time=$(list_once)
  unicode_time=$(list_once --unicode-names)
  if [ "$round" -gt 0 ]; then
    raw_times+=("$raw_time")
    unicode_times+=("$unicode_time")
  fi
done
raw=$(median "${raw_times[@]}")
unicode=$(median "${unicode_times[@]}")
bytes=$("$wine" "$tool" --list "$image" | wc -c)
awk -v r="$raw" -v u="$unicode" -v n="$rounds" -v b="$bytes" 'BEGIN {
  printf "Windows build under Wine: --list of big.d88 to a pipe (%d bytes), %d rounds (medians):\n", b, n
  printf "--list                    %.3f s\n", r / 1e9
  printf "--list --unicode-names    %.3f s\n", u / 1e9
  ratio = r > u ? r / u : u / r
  printf "slower / faster            %.2fx    (target <= 1.5x: %s)\n",
    ratio, ratio <= 1.5 ? "met" : "missed"
}'

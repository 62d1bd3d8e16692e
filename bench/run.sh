#!/usr/bin/env bash
# The extraction benchmark: d88unpack against tar on the same 8192 files.
#
#   bench/run.sh [BUILD_DIR]          (after the build; default build/default)
#
# The data (about 160 MB: two images, the file tree and its tar archive) goes
# to BUILD_DIR/bench-data, or to $D88BENCH_SCRATCH; it is made once and kept
# until the generator changes. $D88BENCH_ROUNDS sets the timed rounds (9),
# $D88BENCH_CPU_ROUNDS those of the processor-time table (3);
# $D88BENCH_TOOL times another d88unpack binary than the build's.
# Exits non-zero only when a command fails or the two extractions differ;
# missed speed or memory targets are reported, not failed. Every round's
# output is kept until the last round is over (about 1 GB for 9 rounds).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
scratch=${D88BENCH_SCRATCH:-$build/bench-data}
rounds=${D88BENCH_ROUNDS:-9}
generator=$build/bench/make_bench_data
crafted=$build/bench/make_crafted_data
timer=$build/bench/bench_timer
tool=${D88BENCH_TOOL:-$build/d88unpack}

for program in "$generator" "$crafted" "$timer" "$tool"; do
  if [ ! -x "$program" ]; then
    echo "run.sh: $program is missing; build first (cmake --workflow --preset default)" >&2
    exit 1
  fi
done

if [ ! -f "$scratch/big.tar" ] || [ "$generator" -nt "$scratch/big.tar" ]; then
  echo "making the benchmark data in $scratch ..."
  rm -rf "$scratch"
  mkdir -p "$scratch"
  "$generator" "$scratch"
  (cd "$scratch/tree" && tar -cf ../big.tar [0-9][0-9][0-9])
fi

files=$(find "$scratch/tree" -type f | wc -l)
bytes=$(find "$scratch/tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
echo "machine: $(nproc) CPUs, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
  "scratch on $(df --output=fstype "$scratch" | tail -n 1), load$(uptime | sed 's/.*load average//')"
echo "data: $files files, $bytes bytes of file data;" \
  "big.d88 $(stat -c %s "$scratch/big.d88") bytes, big.tar $(stat -c %s "$scratch/big.tar") bytes"

"$timer" "$rounds" "$scratch/run" "$tool" "$scratch/big.d88" "$scratch/big.tar" \
  "$scratch/missing.d88"

# The comparison is only honest if both wrote the same files.
if diff -r "$scratch/run/d88unpack" "$scratch/run/tar" >/dev/null; then
  echo "d88unpack and tar extracted identical trees ($files files)"
else
  echo "run.sh: the trees of d88unpack and tar differ" >&2
  exit 1
fi
written=$(find "$scratch/run/missing" -type f | wc -l)
if [ "$written" -ne 0 ]; then
  echo "run.sh: listing missing.d88 wrote $written files" >&2
  exit 1
fi

# Crafted images whose track walks run on through the whole file: processor
# time per MiB must stay about the same from 1 MiB to 16 MiB (see
# bench/make_crafted_data.cpp for their shapes).
if [ ! -f "$scratch/crafted/window-16.d88" ] || [ "$crafted" -nt "$scratch/crafted/window-16.d88" ]; then
  rm -rf "$scratch/crafted"
  "$crafted" "$scratch/crafted" 1 16
fi
echo
echo "processor time on the clean and the crafted images (${D88BENCH_CPU_ROUNDS:-3} rounds):"
"$timer" --cpu "${D88BENCH_CPU_ROUNDS:-3}" "$scratch/run-cpu" "$tool" \
  "$scratch/big.d88" "$scratch/missing.d88" \
  "$scratch"/crafted/chain-1.d88 "$scratch"/crafted/chain-16.d88 \
  "$scratch"/crafted/distinct-1.d88 "$scratch"/crafted/distinct-16.d88 \
  "$scratch"/crafted/window-1.d88 "$scratch"/crafted/window-16.d88

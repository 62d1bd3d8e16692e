#!/usr/bin/env bash
# The extraction benchmark: d88unpack against tar on the same 8192 files,
# then repacking one edited file against cp of the image.
#
#   bench/run.sh [BUILD_DIR]          (after the build; default build/default)
#
# The data (about 160 MB: two images, the file tree and its tar archive) goes
# to BUILD_DIR/bench-data, or to $D88BENCH_SCRATCH; it is made once and kept
# until the generator changes. $D88BENCH_ROUNDS sets the timed rounds (9),
# $D88BENCH_CPU_ROUNDS those of the processor-time table (3);
# $D88BENCH_TOOL times another d88unpack binary than the build's.
# When the wasm preset has been built, the page's figures follow
# (bench/web_bench.js in headless Chromium).
# When the Windows build is there (build/windows/d88unpack.exe, or
# $D88BENCH_WINDOWS_TOOL) and Wine is installed, the listing is also timed
# under Wine, to a pipe, with and without --unicode-names.
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
  "$scratch/missing.d88" "$scratch/tree"

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
# --list creates nothing at all, not even the disks' folders.
made=$(find "$scratch/run/list" -mindepth 1 | wc -l)
if [ "$made" -ne 0 ]; then
  echo "run.sh: d88unpack --list made $made files or folders" >&2
  exit 1
fi
# So does --map.
made=$(find "$scratch/run/map" -mindepth 1 | wc -l)
if [ "$made" -ne 0 ]; then
  echo "run.sh: d88unpack --map made $made files or folders" >&2
  exit 1
fi

# --to-stdout makes nothing either, and gives the bytes of the files the
# extraction wrote, one after the other in listing order.
made=$(find "$scratch/run/to-stdout" -mindepth 1 | wc -l)
if [ "$made" -ne 0 ]; then
  echo "run.sh: d88unpack --to-stdout made $made files or folders" >&2
  exit 1
fi
"$tool" --list "$scratch/big.d88" |
  awk -v root="$scratch/run/d88unpack" '
    /^\[.*\] -> [0-9]+$/ { folder = $NF; next }
    NF { printf "%s/%s/%s%c", root, folder, $1, 0 }' |
  xargs -0 cat >"$scratch/concatenated"
if "$tool" --to-stdout "$scratch/big.d88" | cmp -s - "$scratch/concatenated"; then
  echo "d88unpack --to-stdout gave the extracted files' bytes in listing order"
else
  echo "run.sh: --to-stdout differs from the extracted files in listing order" >&2
  exit 1
fi
rm -f "$scratch/concatenated"

# The image --create made from the tree extracts to the same tree.
"$tool" --output "$scratch/run/create/again" "$scratch/run/create/new.d88" >/dev/null
if diff -r "$scratch/run/create/again" "$scratch/tree" >/dev/null; then
  echo "d88unpack --create made an image that extracts to the same tree"
else
  echo "run.sh: the image --create made extracts to another tree" >&2
  exit 1
fi
rm -rf "$scratch/run/create/again"

# Repacking: one edited file put back into big.d88 (a copy of it), against
# cp of the image file, which is the least a rewrite of the whole image
# costs, and cp followed by a flush of the copy to the disk, which the
# repack does before its rename. The repack also reads back every other
# extracted file to find the edited one. Every round edits the file anew,
# so every repack writes the image.
repack=$scratch/repack
rm -rf "$repack"
mkdir -p "$repack"
cp "$scratch/big.d88" "$repack/big.d88"
"$tool" --output "$repack/tree" "$repack/big.d88" >/dev/null
disk_files=("$repack/tree/000"/*)
edited=${disk_files[0]}
now() { date +%s%N; }
repack_times=()
cp_times=()
sync_times=()
for round in $(seq 0 "$rounds"); do
  printf 'round %d of an edited file\n' "$round" >"$edited"
  start=$(now)
  "$tool" --repack --output "$repack/tree" "$repack/big.d88" >/dev/null 2>&1
  middle=$(now)
  cp "$repack/big.d88" "$repack/copy.d88"
  end=$(now)
  rm -f "$repack/copy.d88"
  sync_start=$(now)
  cp "$repack/big.d88" "$repack/copy.d88"
  sync "$repack/copy.d88"
  sync_end=$(now)
  rm -f "$repack/copy.d88"
  # Round 0 warms the page cache and is not counted.
  if [ "$round" -gt 0 ]; then
    repack_times+=($((middle - start)))
    cp_times+=($((end - middle)))
    sync_times+=($((sync_end - sync_start)))
  fi
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
repack_median=$(median "${repack_times[@]}")
cp_median=$(median "${cp_times[@]}")
sync_median=$(median "${sync_times[@]}")
awk -v r="$repack_median" -v c="$cp_median" -v s="$sync_median" -v n="$rounds" 'BEGIN {
  printf "repacking one edited file into big.d88, %d rounds (medians):\n", n
  printf "d88unpack --repack (8192 files read back)  %.3f s\n", r / 1e9
  printf "cp big.d88                                 %.3f s\n", c / 1e9
  printf "cp big.d88 + sync of the copy              %.3f s\n", s / 1e9
  printf "repack / cp                                 %.2fx    (target <= 2.0x: %s)\n",
    r / c, r / c <= 2.0 ? "met" : "missed"
  printf "repack / (cp + sync)                        %.2fx\n", r / s
}'
# The edit must come back out of the image (padded with zeros to its size).
"$tool" --output "$repack/check" "$repack/big.d88" >/dev/null
if ! cmp -s -n "$(stat -c %s "$edited")" "$edited" \
     "$repack/check/000/$(basename "$edited")"; then
  echo "run.sh: the repacked file did not come back out of the image" >&2
  exit 1
fi
rm -rf "$repack"

# Crafted images whose track walks run on through the whole file: processor
# time must stay within 0.2 s for 4 MiB and 0.6 s for 16 MiB, about the same
# per MiB from 1 MiB on, and what the tool reads from the host must follow
# its work: at most twice the image and the files written, and 1 MiB, in at
# most that over 32 KiB and 10,000 read calls (see
# bench/make_crafted_data.cpp for their shapes).
if [ ! -f "$scratch/crafted/chains-16.d88" ] || [ "$crafted" -nt "$scratch/crafted/chains-16.d88" ]; then
  rm -rf "$scratch/crafted"
  "$crafted" "$scratch/crafted" 1 4 16
fi
images=()
for shape in chain distinct window counts front pool chains sectors wants unmet; do
  for mib in 1 4 16; do images+=("$scratch/crafted/$shape-$mib.d88"); done
done
echo
echo "processor time on the clean and the crafted images (${D88BENCH_CPU_ROUNDS:-3} rounds):"
"$timer" --cpu "${D88BENCH_CPU_ROUNDS:-3}" "$scratch/run-cpu" "$tool" \
  "$scratch/big.d88" "$scratch/missing.d88" "${images[@]}"

# The page's figures, when the wasm preset and the browser test's packages
# have been built (cmake --workflow --preset wasm).
web=$root/build/wasm/web
packages=$root/build/wasm/tests/browser/node_modules
if [ -f "$web/d88unpack-module.js" ] && [ -d "$packages/puppeteer-core" ]; then
  echo
  echo "the page in headless Chromium ($web):"
  "$build/tests/make_sample" "$scratch/sample.d88"
  NODE_PATH=$packages node "$root/bench/web_bench.js" "$web" \
    "$scratch/sample.d88" "$scratch/big.d88" "${D88BENCH_ROUNDS:-9}"
fi

# The Windows build under Wine: the listing of big.d88 to a pipe, with raw
# names and with --unicode-names. Both go through the same buffered standard
# output, so they should take about as long (target: within 1.5x).
windows_tool=${D88BENCH_WINDOWS_TOOL:-$root/build/windows/d88unpack.exe}
if [ -f "$windows_tool" ] && command -v wine >/dev/null; then
  echo
  "$root/cmake/wine-env.sh" bash "$root/bench/windows_listing.sh" \
    "$windows_tool" "$scratch/big.d88" "$rounds"
fi

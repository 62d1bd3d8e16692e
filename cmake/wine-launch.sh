#!/usr/bin/env bash
# Starts one Windows test program under Wine for CTest, which runs every
# Windows program through it (see CMAKE_CROSSCOMPILING_EMULATOR):
#   cmake/wine-launch.sh WINE PROGRAM [ARGUMENT...]
#
# Now and then Wine fails to start a program at all: the program prints
# nothing, and Wine says why (it could not load or find it, status 53 and
# the like). That says nothing about the program, so it is started once
# more. A program that ran and failed fails the test as it is. Wine's own
# messages and the final status always go to standard error, where the
# test's log shows them; standard output carries the program's alone.
set -u

wine=$1
shift
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# True when the attempt just made never got the program going.
not_started() {
  [[ -s "$out" ]] && return 1
  [[ $status -eq 53 ]] && return 0
  grep -qiE 'could not load|cannot find|failed to open|could not be started|ShellExecuteEx failed|^err:' \
    "$err"
}

for attempt in 1 2; do
  "$wine" "$@" >"$out" 2>"$err"
  status=$?
  cat "$out"
  cat "$err" >&2
  if [[ $attempt -eq 1 ]] && not_started; then
    echo "wine-launch.sh: Wine did not start $1 (status $status); starting it once more" >&2
    continue
  fi
  break
done
echo "wine-launch.sh: $1 ended with status $status under $wine" >&2
exit "$status"

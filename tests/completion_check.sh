#!/usr/bin/env bash
# Checks the bash completion script: it parses, and it completes options
# (those with a value without a space) and image files of any case.
#   completion_check.sh COMPLETION_SCRIPT
set -u
script=$1
bash -n "$script" || { echo "completion script does not parse"; exit 1; }
# shellcheck source=/dev/null
source "$script"

failures=0
# Completes the words given (the last one is being typed) and compares.
expect() {
  local want=$1
  shift
  COMP_WORDS=(d88unpack "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _d88unpack
  # Files come in the folder's own order.
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' ')
  if [[ $got != "$want" ]]; then
    echo "completing '$*': got '$got', want '$want'"
    failures=$((failures + 1))
  fi
}

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
touch a.d88 B.D77 c.d68 notes.txt
mkdir sub

expect "--only=" --on
expect "--disk=" --di
expect "--keep-old-files" --keep
expect "--test --to-stdout" --t
expect "" --only=A
expect "sub/" --output ""
expect "--output=sub/" --output=s
expect "sub/" --output = s
expect "B.D77 a.d88 c.d68 sub" ""
expect "B.D77" --list B
exit $((failures > 0))

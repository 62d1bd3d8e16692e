#!/usr/bin/env bash
# Holds the bash completion and the man page to the tool's table of
# options: the completion offers exactly the table's options after "--",
# each as its value kind wants it, and completes each value as the table
# says; the man page has an item for each option and no other, and every
# item starts on its own ".TP".
#   option_list_check.sh TABLE_PROGRAM COMPLETION_SCRIPT MAN_PAGE
set -u
table=$("$1") || { echo "cannot run $1"; exit 1; }
script=$2
manpage=$3
[[ -n $table ]] || { echo "the table is empty"; exit 1; }
# shellcheck source=/dev/null
source "$script"

failures=0
fail() {
  echo "$*"
  failures=$((failures + 1))
}

# What the completion offers for the words given (the last is being typed),
# sorted and on one line.
offered() {
  COMP_WORDS=(d88unpack "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _d88unpack
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' '
}

sorted() { tr ' ' '\n' <<<"$*" | sed '/^$/d' | LC_ALL=C sort | paste -sd ' '; }

expect() {
  local want=$1
  shift
  local got
  got=$(offered "$@")
  [[ $got == "$want" ]] || fail "completing '$*': got '$got', want '$want'"
}

# --- The options offered after "--". ---
want=
while read -r name value _; do
  case $value in
    none) want+=" --$name" ;;
    required) want+=" --$name=" ;;
    attached) want+=" --$name --$name=" ;;
    *) fail "option --$name: unknown value kind '$value'" ;;
  esac
done <<<"$table"
expect "$(sorted "$want")" --

# --- Each value, typed after "=" (in one word, or split at "=" as bash
# splits it) and, for options that need one, as the next word. ---
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir out
touch out.txt other.d88
while read -r name value completion choices; do
  [[ $value == none ]] && continue
  case $completion in
    folder) joined="--$name=out/" split="out/" typed=ou ;;
    file) joined="--$name=out.txt --$name=out/" split="out.txt out/" typed=ou ;;
    nothing) joined="" split="" typed=ou ;;
    choices)
      joined= split=
      for choice in $choices; do
        joined+=" --$name=$choice"
        split+=" $choice"
      done
      typed=
      ;;
    *) fail "option --$name: unknown completion '$completion'"; continue ;;
  esac
  expect "$(sorted "$joined")" "--$name=$typed"
  if [[ -n $typed ]]; then
    expect "$(sorted "$split")" "--$name" = "$typed"
  else
    expect "$(sorted "$split")" "--$name" =
  fi
  if [[ $value == required ]]; then
    expect "$(sorted "$split")" "--$name" "$typed"
  else
    # Its value goes only after "=": the next word is the image path.
    expect "other.d88" "--$name" ot
  fi
done <<<"$table"

# --- The man page: one item per option, each on its own ".TP". ---
# The item lines of the OPTIONS section, as "--name" each.
items=$(awk '
  /^\.SH / { in_options = ($2 == "OPTIONS") }
  in_options && previous == ".TP" && /^\.B[IR]? \\-\\-/ {
    item = $2
    gsub(/\\-/, "-", item)
    match(item, /^--[a-z0-9-]*/)
    print substr(item, 1, RLENGTH)
  }
  { previous = $0 }' "$manpage" | LC_ALL=C sort | paste -sd ' ')
want=
while read -r name _; do want+=" --$name"; done <<<"$table"
want=$(sorted "$want")
[[ $items == "$want" ]] ||
  fail "man page items: got '$items', want '$want'"
# A bold line that does not follow ".TP" runs into the paragraph before it.
awk '
  /^\.SH / { after_synopsis = ($2 != "NAME" && $2 != "SYNOPSIS") }
  after_synopsis && /^\.B[IR]? / && previous != ".TP" {
    print "man page line " NR " is not an item of its own: " $0
    bad = 1
  }
  { previous = $0 }
  END { exit bad }' "$manpage" || failures=$((failures + 1))

exit $((failures > 0))

#!/usr/bin/env bash
# Checks the links between the Markdown documents as the repository's web
# view follows them: a relative link names a file that exists, and a link
# to a heading (#anchor) names one the target file has, by the web view's
# rule (lower case; only letters, digits, spaces, "-" and "_" kept; spaces
# become "-").
#   check_doc_links.sh REPOSITORY_ROOT
set -u
root=$1
failures=0

# The text outside fenced code blocks.
prose() { awk '/^```/ { fenced = !fenced; next } !fenced' "$1"; }

anchors() {
  prose "$1" | awk '/^#+ / {
    sub(/^#+ +/, ""); $0 = tolower($0)
    gsub(/[^a-z0-9 _-]/, ""); gsub(/ /, "-"); print }'
}

for md in "$root"/*.md "$root"/doc/*.md; do
  [[ -f $md ]] || continue
  dir=$(dirname "$md")
  while IFS= read -r target; do
    case $target in
      http://* | https://* | mailto:*) continue ;;
    esac
    path=${target%%#*}
    anchor=""
    [[ $target == *"#"* ]] && anchor=${target#*#}
    file=$md
    [[ -n $path ]] && file=$dir/$path
    if [[ ! -e $file ]]; then
      echo "${md#"$root"/}: link to a missing file: $target"
      failures=$((failures + 1))
    elif [[ -n $anchor ]] && ! anchors "$file" | grep -qxF -- "$anchor"; then
      echo "${md#"$root"/}: link to a missing heading: $target"
      failures=$((failures + 1))
    fi
  done < <(prose "$md" | grep -o '\](\([^)]*\))' | sed 's/^](\(.*\))$/\1/')
done
[[ $failures -eq 0 ]] && echo "every link between the documents leads somewhere"
exit $((failures > 0))

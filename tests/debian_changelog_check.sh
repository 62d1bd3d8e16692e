#!/usr/bin/env bash
# Checks cmake/debian_changelog.cmake, which makes the Debian package's
# changelog from NEWS.md: the entry holds the version's section as Debian
# writes it, is dated the section's day (the day of the week as date(1)
# says; Debian's checker refuses a wrong one), and a version that NEWS.md
# has no section for stops the build.
#   debian_changelog_check.sh CMAKE SCRIPT
set -u
cmake=$1
script=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

changelog() {  # VERSION: writes $scratch/changelog from $scratch/NEWS.md
  "$cmake" -DNEWS="$scratch/NEWS.md" -DVERSION="$1" -DMAINTAINER="M <m@x.org>" \
    -DOUTPUT="$scratch/changelog" -P "$script" >/dev/null 2>&1
}

for day in 1999-12-31 2000-02-29 2000-03-01 2024-01-01 2024-02-29 \
           2026-12-09 2100-03-01; do
  printf '# News\n\n## 9.10.0 (%s)\n\nNew:\n\n- One thing\n  on two lines.\n- Another.\n\n## 9.1.0 (1990-01-01)\n\n- Older.\n' \
    "$day" >"$scratch/NEWS.md"
  want="d88unpack (9.10.0) unstable; urgency=medium

  New:

  * One thing
    on two lines.
  * Another.

 -- M <m@x.org>  $(LC_ALL=C date -u -d "$day" '+%a, %d %b %Y') 00:00:00 +0000"
  if ! changelog 9.10.0 || [[ $(cat "$scratch/changelog") != "$want" ]]; then
    echo "for $day, got:"; cat "$scratch/changelog"
    failures=$((failures + 1))
  fi
done

# 9.1 is not 9.10.0's prefix, nor is 9.1.0 found as 9.10.0's.
if changelog 9.1 || changelog 9.0.0; then
  echo "a version without a section of its own gave a changelog"
  failures=$((failures + 1))
fi
[[ $failures -eq 0 ]] && echo "the changelog follows NEWS.md"
exit $((failures > 0))

#!/usr/bin/env bash
# Renders the man page as man does and fails on any warning troff gives.
#   man_page_check.sh MAN_PAGE
# Exits with 77 (the test is skipped) when groff is not installed.
set -u
command -v groff >/dev/null || { echo "groff is not installed"; exit 77; }
warnings=$(groff -man -ww -z "$1" 2>&1) || { echo "$warnings"; exit 1; }
[[ -z $warnings ]] || { echo "$warnings"; exit 1; }

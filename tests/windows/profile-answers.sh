#!/usr/bin/env bash
# Writes tests/data/profile/*.answers afresh from the Windows private-profile functions, run
# under Wine: for each NAME.ini, the queries are the first two fields of each line of
# NAME.answers. The profile reader's tests hold the Linux reader to these answers, and the
# Windows build's tests hold the real functions to them.
# Usage: tests/windows/profile-answers.sh        (needs mingw-w64 and Wine: scripts/windows --check)
set -euo pipefail
cd "$(dirname "$0")/../.."
data=tests/data/profile
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
x86_64-w64-mingw32-g++-posix -O1 -static -o "$work/probe.exe" tests/windows/profile_probe.cpp
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine || command -v wine64)
for ini in "$data"/*.ini; do
  answers=${ini%.ini}.answers
  cut -d'|' -f1,2 "$answers" >"$work/queries"
  # The device's users run Japanese Windows: code page 932, in which the files are written.
  LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 "$wine" "$work/probe.exe" "$ini" "$work/queries" | tr -d '\r' >"$work/new"
  mv "$work/new" "$answers"
done
wineserver -w 2>/dev/null || true
git status --short "$data"

#!/usr/bin/env bash
# verup.exe under Wine beside the Linux verup, on the same packages: `images --dump` writes
# byte-identical images, and `config` and `images` say the same (folder names aside) with the
# same exit codes; redirected, both write the same UTF-8. One package is the simulator's own;
# one leaves images out and changes MODE; one has a verup.dat written by hand the awkward way
# (CR LF, blanks and quotes around values, comments, a line without '=', a key and a section
# twice, a hex-looking integer).
# Usage: tests/windows/compare-with-linux.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# Exits 77 (skipped) when a build or Wine is missing.
set -euo pipefail

skip() { echo "SKIPPED: $*"; exit 77; }
[ $# -eq 2 ] || { echo "usage: $0 LINUX_BUILD_DIR WINDOWS_BUILD_DIR" >&2; exit 64; }
linux=$(cd "$1" 2>/dev/null && pwd) || skip "no Linux build in $1"
windows=$(cd "$2" 2>/dev/null && pwd) || skip "no Windows build in $2 (scripts/windows makes it)"
[ -x "$linux/verup" ] && [ -x "$linux/verup-devsim" ] || skip "no verup and verup-devsim in $linux"
[ -f "$windows/verup.exe" ] || skip "no $windows/verup.exe (scripts/windows makes it)"
. "$(dirname "$0")/wine-env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$linux/verup-devsim" make-package plain >/dev/null
"$linux/verup-devsim" make-package variant --no-boot --crc 0 --sel 1 --retry 5 --program-size 300000 \
  --version "Version 2.05" >/dev/null
cp -r plain awkward
python3 - awkward/verup.dat <<'PY'
import sys
path = sys.argv[1]
text = open(path, 'rb').read().replace(b'\r\n', b'\n')
for old, new in [(b'RETRY=3\n', b'RETRY=0x10\n ; a comment\nno equals sign here\n'),
                 (b'NUM=Version 1.20\n', b'  NUM  =  "Version 1.20"  \nNUM=Version 9.99\n'),
                 (b'SAVE=2\n', b"SAVE = '2'\n"),
                 (b'[AREA]\n', b'[AREA]\nMAIN=7\n[ mode ]\nCRC=0\n[AREA]\n')]:
    assert old in text, old
    text = text.replace(old, new)
open(path, 'wb').write(text.replace(b'\n', b'\r\n'))
PY

failures=0
# Runs one command on both builds and compares what they print and return. The Windows build
# names this folder Z:\...\ with backslashes; both become WORK/.
compare() {
  local name=$1; shift
  local linux_rc=0 windows_rc=0
  "$linux/verup" "$@" >"$name.linux" 2>&1 || linux_rc=$?
  "$wine" "$windows/verup.exe" "$@" >"$name.windows.raw" 2>&1 || windows_rc=$?
  sed -i "s|$work/|WORK/|g; s|$work|WORK|g" "$name.linux"
  local dos_work="Z:${work//\//\\}"
  python3 - "$name.windows.raw" "$name.windows" "$dos_work" "$work" <<'PY'
import sys
raw, out, dos, unix = sys.argv[1:]
text = open(raw, 'rb').read()
for prefix in (dos.encode(), unix.encode()):
    while prefix in text:
        i = text.index(prefix)
        j = i + len(prefix)
        # The rest of the path: up to a blank, a line end or a closing parenthesis.
        k = j
        while k < len(text) and text[k:k+1] not in (b' ', b'\n', b')', b':'):
            k += 1
        text = text[:i] + b'WORK' + text[j:k].replace(b'\\', b'/') + text[k:]
open(out, 'wb').write(text)
PY
  if [ "$linux_rc" != "$windows_rc" ]; then
    echo "FAIL $name: exit code $linux_rc on Linux, $windows_rc on Windows"; failures=$((failures + 1))
  elif ! diff -u "$name.linux" "$name.windows"; then
    echo "FAIL $name: the output differs"; failures=$((failures + 1))
  else
    echo "ok   $name (exit $linux_rc)"
  fi
}

# No package here: the refusal, Japanese and all, must come out as the same UTF-8 bytes.
compare no-package --lan 127.0.0.1
for package in plain variant awkward; do
  compare "$package-config" -C "$package" config
  compare "$package-config-old-device" -C "$package" config --device-version "Version 1.05"
  compare "$package-images" -C "$package" images
  mkdir -p "$package-linux" "$package-windows"
  linux_rc=0 windows_rc=0
  "$linux/verup" -C "$package" images --dump "$work/$package-linux" >/dev/null 2>&1 || linux_rc=$?
  "$wine" "$windows/verup.exe" -C "$package" images --dump "$work/$package-windows" >/dev/null 2>&1 || windows_rc=$?
  [ "$linux_rc" = "$windows_rc" ] ||
    { echo "FAIL $package images --dump: exit code $linux_rc on Linux, $windows_rc on Windows"; failures=$((failures + 1)); }
  for image in "$package-linux"/*.bin; do
    if ! cmp "$image" "$package-windows/$(basename "$image")"; then
      echo "FAIL $package: $(basename "$image") differs"; failures=$((failures + 1))
    fi
  done
  [ -n "$(ls "$package-linux")" ] || { echo "FAIL $package: no image was dumped"; failures=$((failures + 1)); }
  [ "$(ls "$package-linux")" = "$(ls "$package-windows")" ] ||
    { echo "FAIL $package: different images dumped"; failures=$((failures + 1)); }
done
if [ $failures -ne 0 ]; then
  echo "$failures difference(s) between the Windows and the Linux build"
  exit 1
fi
echo "The Windows build agrees with the Linux build"

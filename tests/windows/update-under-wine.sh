#!/usr/bin/env bash
# A whole update by verup.exe under Wine against the simulated device, on each road asked for,
# beside the same update by the Linux verup on a second device started alike: the device must
# end with the new version, its settings carried, and hold exactly what the Linux run left.
# The serial road reaches the simulator's pty as COM1 (Wine's Ports key names the device).
# verup.exe runs in a console (a pseudo-terminal Wine makes a Windows console of): the screen it
# leaves must show the full progress bar and the result in Japanese, as a technician sees them.
# Usage: tests/windows/update-under-wine.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR serial|lan...
# Exits 77 (skipped) when a build or Wine is missing.
set -euo pipefail

skip() { echo "SKIPPED: $*"; exit 77; }
[ $# -ge 3 ] || { echo "usage: $0 LINUX_BUILD_DIR WINDOWS_BUILD_DIR serial|lan..." >&2; exit 64; }
linux=$(cd "$1" 2>/dev/null && pwd) || skip "no Linux build in $1"
windows=$(cd "$2" 2>/dev/null && pwd) || skip "no Windows build in $2 (scripts/windows makes it)"
shift 2
[ -x "$linux/verup" ] && [ -x "$linux/verup-devsim" ] || skip "no verup and verup-devsim in $linux"
[ -f "$windows/verup.exe" ] || skip "no $windows/verup.exe (scripts/windows makes it)"
. "$(dirname "$0")/wine-env.sh"
/usr/bin/python3 -c 'import pyte' 2>/dev/null || skip "python3-pyte is not installed (scripts/windows --check installs it)"
# Wine's own latency (a server round trip per I/O) needs real milliseconds that a large time
# scale would take away; 2 keeps a whole update near a minute.
scale=2
work=$(mktemp -d)
devices=()
cleanup() {
  for pid in "${devices[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$wine" reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
"$linux/verup-devsim" make-package package >/dev/null

# Starts a device in folder $1 with the options after it; sets `pty` and `port`.
start_device() {
  local dir=$1; shift
  mkdir -p "$dir"
  "$linux/verup-devsim" --package package --link "$work/$dir/tty" --telnet-port 0 --time-scale "$scale" \
    --state "$work/$dir/state" --settings-item 3.1=KEPT-3.1 "$@" >"$dir/devsim.txt" 2>&1 &
  devices+=($!)
  for _ in $(seq 100); do
    grep -q '^telnet: ' "$dir/devsim.txt" 2>/dev/null && break
    sleep 0.1
  done
  port=$(sed -n 's/^telnet: 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/devsim.txt")
  [ -n "$port" ] || { echo "FAIL: the simulated device did not start"; cat "$dir/devsim.txt"; exit 1; }
}

# Runs verup.exe with the arguments after $1 in a console of 100 columns; its exit code is the
# program's, and $1.txt receives the screen it leaves (as a terminal emulator draws it: Wine
# redraws only the cells that change).
in_console() {
  local name=$1; shift
  local command
  command="stty cols 100 rows 50; exec $(printf '%q ' "$wine" "$windows/verup.exe" "$@")"
  local rc=0
  LANG=C.UTF-8 script -qefc "$command" /dev/null >"$name.tty" 2>&1 </dev/null || rc=$?
  /usr/bin/python3 - "$name.tty" >"$name.txt" <<'PY'
import sys, pyte
screen = pyte.Screen(100, 50)
pyte.ByteStream(screen).feed(open(sys.argv[1], 'rb').read())
print('\n'.join(line.rstrip() for line in screen.display if line.strip()))
PY
  return $rc
}

inspect() { "$linux/verup-devsim" --state "$work/$1/state" --inspect; }

failures=0
for road in "$@"; do
  case "$road" in
    serial) firmware=(--firmware-version "Version 1.10" --revision 7) ;;
    lan) firmware=(--firmware-version "Version 1.15") ;;
    *) echo "unknown road $road" >&2; exit 64 ;;
  esac
  start_device "$road-linux" "${firmware[@]}"
  if [ "$road" = serial ]; then
    VERUP_COM1=$work/$road-linux/tty "$linux/verup" -C package --com 1 --time-scale "$scale" >"$road-linux.txt" 2>&1 ||
      { echo "FAIL $road: the Linux run failed"; cat "$road-linux.txt"; failures=$((failures + 1)); continue; }
  else
    VERUP_TELNET_PORT=$port "$linux/verup" -C package --lan 127.0.0.1 --time-scale "$scale" >"$road-linux.txt" 2>&1 ||
      { echo "FAIL $road: the Linux run failed"; cat "$road-linux.txt"; failures=$((failures + 1)); continue; }
  fi

  start_device "$road-windows" "${firmware[@]}"
  rc=0
  if [ "$road" = serial ]; then
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$work/$road-windows/tty" /f >/dev/null 2>&1
    # The Ports key is read when Wine starts.
    wineserver -k 2>/dev/null || true
    in_console "$road-windows" -C package --com 1 --time-scale "$scale" || rc=$?
  else
    VERUP_TELNET_PORT=$port in_console "$road-windows" -C package --lan 127.0.0.1 --time-scale "$scale" || rc=$?
  fi
  if [ $rc -ne 0 ]; then
    echo "FAIL $road: verup.exe exited with $rc"; cat "$road-windows.txt"; failures=$((failures + 1)); continue
  fi
  if ! grep -qx '\[#*\] 100%  バージョンアップ完了 (update done)' "$road-windows.txt" ||
     ! grep -qx 'Result: *バージョンアップ完了' "$road-windows.txt"; then
    echo "FAIL $road: the console does not show the finished bar and the result"; cat "$road-windows.txt"
    failures=$((failures + 1)); continue
  fi
  inspect "$road-windows" >"$road-windows.inspect"
  inspect "$road-linux" >"$road-linux.inspect"
  if ! grep -q '^program version text: Version 1.20 3$' "$road-windows.inspect" ||
     ! grep -q '^program in flash: valid$' "$road-windows.inspect" ||
     ! grep -q '^  3.1 = KEPT-3.1$' "$road-windows.inspect"; then
    echo "FAIL $road: the device does not hold the new version with its settings"; cat "$road-windows.inspect"
    failures=$((failures + 1))
  elif ! diff -u "$road-linux.inspect" "$road-windows.inspect"; then
    echo "FAIL $road: the device holds something else than after the Linux run"; failures=$((failures + 1))
  else
    echo "ok   $road: Version 1.20 3, settings carried, flash as after the Linux run"
  fi
done
[ $failures -eq 0 ] || { echo "$failures road(s) failed under Wine"; exit 1; }

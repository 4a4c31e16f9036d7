#!/usr/bin/env bash
# Many devices at once, the way a shop would do it: N simulated devices on the loopback
# addresses 127.0.0.2 ... (one telnet port), and one `verup --lan` per device run side by side
# by GNU parallel, with one mistyped address among them. Then every device must hold the new
# firmware and its own settings, every run but the mistyped one must have ended with 0, and
# each run's JSON report must say so.
# Usage: tests/cli/fleet-update.sh BUILD_DIR [DEVICES] [TIME_SCALE]   (default 8 devices, scale 20)
# Prints "fleet of N: T s" (wall time of the parallel runs alone); bench/fleet.sh compares sizes.
set -euo pipefail
build=$(cd "$1" && pwd)
devices=${2:-8}
scale=${3:-20}
verup=$build/verup
devsim=$build/verup-devsim
command -v parallel >/dev/null || { echo "SKIPPED: GNU parallel is not installed (scripts/deps installs it)"; exit 77; }
[ "$devices" -ge 1 ] && [ "$devices" -le 250 ] || { echo "DEVICES must be 1 ... 250" >&2; exit 64; }

work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
"$devsim" make-package pkg --debug 0 >/dev/null

address() { echo "127.0.0.$(($1 + 1))"; }
mac() { printf '00:80:6D:73:%02X:10' "$1"; }
start_device() {  # start_device I PORT
  local i=$1 port=$2
  "$devsim" --package pkg --state "dev$i.state" --no-serial --telnet-address "$(address "$i")" \
    --telnet-port "$port" --time-scale "$scale" --firmware-version "Version 1.15" --mac "$(mac "$i")" \
    >"dev$i.out" 2>"dev$i.err" &
  sims+=($!)
  for _ in $(seq 300); do
    grep -q '^telnet: ' "dev$i.out" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "device $i did not start:"; cat "dev$i.err"; exit 1
}
inspect() { "$devsim" --inspect --package pkg --state "dev$1.state" --firmware-version "Version 1.15" --mac "$(mac "$1")"; }

# The first device picks a free port; the others take the same one on their own addresses.
start_device 1 0
port=$(sed -n 's/^telnet: .*:\([0-9]*\)$/\1/p' dev1.out)
for i in $(seq 2 "$devices"); do start_device "$i" "$port"; done
for i in $(seq "$devices"); do inspect "$i" | sed -n '/^settings/,$p' >"dev$i.before"; done

# And one line of the list mistyped: that device alone fails, with its own report.
bad=127.0.0.256
addresses=("$bad")
for i in $(seq "$devices"); do addresses+=("$(address "$i")"); done
export VERUP_TELNET_PORT=$port XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run
mkdir -p reports "$XDG_RUNTIME_DIR"
started=$(date +%s%N)
status=0
parallel -j "$((devices + 1))" --joblog jobs.log \
  "$verup" -C pkg --lan {} --time-scale "$scale" --json '>' reports/{}.json '2>' reports/{}.err ::: "${addresses[@]}" ||
  status=$?
elapsed_ms=$((($(date +%s%N) - started) / 1000000))

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
[ "$status" -eq 1 ] || fail "parallel reported $status failed runs, not the one mistyped address"
python3 - "reports/$bad.json" <<'PY' || fail "$bad: no report of the refused run"
import json, sys
report = json.load(open(sys.argv[1]))
assert report["exit_code"] == 64 and report["outcome"] == "usage-error", report
PY
for i in $(seq "$devices"); do
  a=$(address "$i")
  after=$(inspect "$i")
  grep -q 'program version text: Version 1.20' <<<"$after" || fail "$a does not hold the new firmware"
  diff -q "dev$i.before" <(sed -n '/^settings/,$p' <<<"$after") >/dev/null || fail "$a lost its settings"
  python3 - "reports/$a.json" "$a" "$(mac "$i")" <<'PY' || fail "$a: its JSON report is wrong"
import json, sys
report = json.load(open(sys.argv[1]))
address, mac = sys.argv[2:]
assert report["exit_code"] == 0 and report["outcome"] == "done", report["outcome"]
assert report["road"]["kind"] == "lan" and report["road"]["address"] == address, report["road"]
assert report["device"]["mac_addresses"]["eth0"] == mac, report["device"]
assert report["device"]["firmware_after"] == "Version 1.20", report["device"]
assert report["settings"]["restored"] is True and report["settings"]["backup_file"] is None, report["settings"]
assert report["images"], "no image written"
PY
done
if [ "$failures" -ne 0 ]; then
  echo "--- job log"; cat jobs.log
  for f in reports/*.err; do echo "--- $f"; tail -5 "$f"; done
  exit 1
fi
ls state/verup 2>/dev/null | grep -q '^7300qb-' && { echo "FAILED: a backup outlived its run"; ls state/verup; exit 1; }
printf "fleet of %d: %d.%03d s\n" "$devices" $((elapsed_ms / 1000)) $((elapsed_ms % 1000))

#!/usr/bin/env bash
# Wall time of whole LAN updates of 1, 4 and 16 simulated devices at once (GNU parallel, one
# time scale), and each size against one device. The goal: 16 devices in at most 1.5 times the
# wall time of one. Run from a Release build on a quiet machine:
#   bench/fleet.sh BUILD_DIR [TIME_SCALE]
set -euo pipefail
build=$1
scale=${2:-20}
here=$(cd "$(dirname "$0")/.." && pwd)
declare -A wall
for n in 1 4 16; do
  line=$("$here/tests/cli/fleet-update.sh" "$build" "$n" "$scale" | tail -1)
  wall[$n]=$(sed -n 's/^fleet of [0-9]*: \([0-9.]*\) s$/\1/p' <<<"$line")
  [ -n "${wall[$n]}" ] || { echo "the fleet of $n failed: $line" >&2; exit 1; }
done
echo "time scale $scale, $(nproc) cores"
for n in 1 4 16; do
  python3 -c "import sys; n, t, one = sys.argv[1:]; print(f'{n:>2} devices: {float(t):7.2f} s  {float(t) / float(one):4.2f} x one')" \
    "$n" "${wall[$n]}" "${wall[1]}"
done

# Sourced by the scripts that run verup.exe under Wine, after `windows` (the Windows build's
# folder) is set: finds Wine (or skips), and gives it a quiet prefix beside the build that is
# made before the first run, so no run's output carries Wine's "created the configuration
# directory" lines.
wine=$(command -v wine || command -v wine64 || true)
[ -n "$wine" ] || skip "Wine is not installed (scripts/windows --check installs it)"
export WINEPREFIX=${WINEPREFIX:-$windows/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi

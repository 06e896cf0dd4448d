#!/usr/bin/env bash
# The whole headless station's processor share: four demo cameras (352x288, 30 frames per
# second) with motion detection on, measured over a fixed time after a warm-up, from the
# process's user and system time in /proc/<pid>/stat.
# Usage: bench/station_hub/cpu_share.sh [build folder, default build] [seconds, default 20]
set -euo pipefail
cd "$(dirname "$0")/../.."
bin="${1:-build}/bin"
seconds="${2:-20}"
[ -x "$bin/vantry" ] || { echo "cpu_share: $bin/vantry is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/vantry-bench.XXXXXX)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/run"
chmod 700 "$work/run"
{
  for n in 01 02 03 04; do printf '[State_ch%s]\nfEnableMotionDetection=1\n' "$n"; done
  printf '[Log]\nfCountInMotionEvents=1\n'
} > "$work/data/vantry.ini"

VANTRY_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run" "$bin/vantry" --headless --demo 2> "$work/stderr" &
pid=$!
sleep 3 # graphs built, detection running

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); s0=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks); s1=$(date +%s.%N)
kill -TERM "$pid"
wait "$pid" && status=0 || status=$?

awk -v t0="$t0" -v t1="$t1" -v s0="$s0" -v s1="$s1" -v hz="$hz" -v cores="$(nproc)" 'BEGIN {
  cpu = (t1 - t0) / hz; wall = s1 - s0;
  printf "cpu_share: %.2f s of processor time in %.2f s: %.1f %% of one core (%d cores here)\n", cpu, wall, 100 * cpu / wall, cores
}'
echo "cpu_share: motion events logged: $(grep -c 'Motion event.' "$work/stderr" || true); exit status $status"

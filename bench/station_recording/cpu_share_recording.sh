#!/usr/bin/env bash
# The headless station's processor share while it records: four demo cameras at 640x480 and
# 30 frames per second, each with its demo microphone, motion detection on and round-the-clock
# recording (VX01 + GSM 6.10 into AVI), measured over a fixed time after a warm-up from the
# process's user and system time in /proc/<pid>/stat. Also reports the frames recorded per
# second, so that a figure bought by dropping frames shows itself.
# Usage: bench/station_recording/cpu_share_recording.sh [build folder, default build] [seconds, default 20]
set -euo pipefail
cd "$(dirname "$0")/../.."
bin="${1:-build}/bin"
seconds="${2:-20}"
[ -x "$bin/vantry" ] || { echo "cpu_share_recording: $bin/vantry is not built" >&2; exit 1; }
command -v ffprobe > /dev/null || { echo "cpu_share_recording: ffprobe is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/vantry-bench.XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/run"
chmod 700 "$work/run"
{
  for n in 1 2 3 4; do
    printf '[ZtCAP0%s]\nVideoDevice=demo:camera:%s\nAudioDevice=demo:microphone:%s\nFrameRate=30\nUseFrameRateControl=0\n' "$n" "$n" "$n"
    printf '[VideoSize_ch0%s]\nbiWidth=640\nbiHeight=480\n' "$n"
    printf '[Preference_ch0%s]\nbRecordAudio=1\nnRecordingType=0\n' "$n"
    printf '[State_ch0%s]\nfEnableMotionDetection=1\nfEnableRecording=1\n' "$n"
    printf '[Storage_ch0%s]\nnMinFreeSpace=1\n' "$n"
  done
} > "$work/data/vantry.ini"

# One file per camera for the whole measurement: file changes are not what is measured.
VANTRY_TEST_FILE_SECONDS=3600 VANTRY_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run" \
  "$bin/vantry" --headless --demo 2> "$work/stderr" &
pid=$!
sleep 4 # graphs built, recording and detection running

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); s0=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks); s1=$(date +%s.%N)
kill -TERM "$pid"
wait "$pid" && status=0 || status=$?
pid=""

awk -v t0="$t0" -v t1="$t1" -v s0="$s0" -v s1="$s1" -v hz="$hz" -v cores="$(nproc)" 'BEGIN {
  cpu = (t1 - t0) / hz; wall = s1 - s0;
  printf "cpu_share_recording: %.2f s of processor time in %.2f s: %.1f %% of one core (%d cores here)\n", cpu, wall, 100 * cpu / wall, cores
}'
for f in "$work"/data/records/camera0*/*/*.avi; do
  frames=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$f")
  duration=$(ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 "$f")
  awk -v f="$(basename "$(dirname "$(dirname "$f")")")" -v n="$frames" -v d="$duration" \
    'BEGIN { printf "cpu_share_recording: %s: %d frames in %.1f s (%.1f frames/s)\n", f, n, d, (d > 0 ? n / d : 0) }'
done
echo "cpu_share_recording: exit status $status"

#!/usr/bin/env bash
# Three minutes of round-the-clock recording of two demo cameras with sound, with one-minute
# files as a user would set them (nFileLength=1, no test hook). Checks that every minute gives
# a file in its day folder, that the index lists exactly those files, and that each file plays
# in ffmpeg (H.263 decoder) and in GStreamer (vxdec + gsmdec) with its sound.
# The short form of the same checks runs in CTest (station_recording_process_test).
# Usage: bench/station_recording/three_minute_run.sh [build folder, default build] [seconds, default 185]
set -euo pipefail
cd "$(dirname "$0")/../.."
bin="$(cd "${1:-build}/bin" && pwd)"
seconds="${2:-185}"
[ -x "$bin/vantry" ] || { echo "three_minute_run: $bin/vantry is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/vantry-run.XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/run"
chmod 700 "$work/run"
{
  printf '[Preference]\nsSiteName=Test site\n'
  for n in 1 2; do
    printf '[ZtCAP0%s]\nVideoDevice=demo:camera:%s\nAudioDevice=demo:microphone:%s\n' "$n" "$n" "$n"
    printf '[Preference_ch0%s]\nbRecordAudio=1\nnRecordingType=0\nsCameraName=Demo %s\n' "$n" "$n"
    printf '[State_ch0%s]\nfEnableMotionDetection=1\nfEnableRecording=1\n' "$n"
    printf '[Storage_ch0%s]\nnFileLength=1\nnMinFreeSpace=1\n' "$n"
  done
} > "$work/data/vantry.ini"

VANTRY_DATA_DIR="$work/data" XDG_RUNTIME_DIR="$work/run" "$bin/vantry" --headless --demo 2> "$work/stderr" &
pid=$!
sleep "$seconds"
kill -TERM "$pid"
wait "$pid"
pid=""

failures=0
for n in 1 2; do
  storage="$work/data/records/camera0$n"
  files=$(find "$storage" -name '*.avi' | sort)
  count=$(echo "$files" | grep -c . || true)
  indexed=$("$bin/vyrecords" list "$storage" 2>/dev/null | grep -c '\.avi' || true)
  echo "three_minute_run: camera $n: $count files, $indexed in the index"
  [ "$count" -ge 3 ] || { echo "three_minute_run: camera $n: expected at least 3 files" >&2; failures=$((failures + 1)); }
  for f in $files; do
    day=$(basename "$(dirname "$f")")
    [[ "$day" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ && "$(basename "$f")" =~ ^zt[0-9]{12}[01]\.avi$ ]] \
      || { echo "three_minute_run: badly named $f" >&2; failures=$((failures + 1)); }
    ffmpeg -v error -xerror -c:v h263 -i "$f" -map 0:v -map 0:a -f null - \
      || { echo "three_minute_run: ffmpeg cannot play $f" >&2; failures=$((failures + 1)); }
    GST_PLUGIN_PATH="$bin/gstreamer-1.0" gst-launch-1.0 -q filesrc location="$f" ! avidemux name=d \
      d.video_0 ! queue ! vxdec ! fakesink d.audio_0 ! queue ! gsmdec ! fakesink \
      || { echo "three_minute_run: GStreamer cannot play $f" >&2; failures=$((failures + 1)); }
    echo "three_minute_run:   $(basename "$f") $(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames,duration -of csv=p=0 "$f")"
  done
done
[ "$failures" -eq 0 ] && echo "three_minute_run: passed" || { echo "three_minute_run: $failures failures" >&2; exit 1; }

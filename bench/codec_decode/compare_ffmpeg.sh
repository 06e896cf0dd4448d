#!/bin/sh
# Times our decoder (codec_decode_bench, one thread) against ffmpeg's H.263 decoder
# (-threads 1) on the same raw streams and prints pictures per second and the ratio.
# Usage: compare_ffmpeg.sh [BUILD_DIR]   (default: build)
set -eu
build=${1:-build}
bench="$build/bin/codec_decode_bench"
[ -x "$bench" ] || { echo "compare_ffmpeg.sh: $bench not found; build the codec_decode_bench target" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare_ffmpeg.sh: ffmpeg not found" >&2; exit 1; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/vx-compare-XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM

make_stream() { # name size frames
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "testsrc2=size=$2:rate=25" -vf noise=alls=12:allf=t -frames:v "$3" -c:v h263 -q:v 5 "$dir/$1.h263"
}
make_stream cif 352x288 300
make_stream 4cif 704x576 150

ours=$(VX_BENCH_STREAM_DIR="$dir" "$bench" --benchmark_filter='BM_Decode' --benchmark_format=csv 2>/dev/null)

for case in "cif 300 BM_DecodeCif" "4cif 150 BM_Decode4Cif"; do
    set -- $case
    name=$1 frames=$2 bm=$3
    # ffmpeg reports the CPU time it used; the best of three runs.
    best=""
    for run in 1 2 3; do
        t=$(ffmpeg -nostdin -threads 1 -benchmark -i "$dir/$name.h263" -f null - 2>&1 |
            sed -n 's/.*bench: utime=\([0-9.]*\)s.*/\1/p')
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    theirs=$(awk -v f="$frames" -v t="$best" 'BEGIN { print f / t }')
    # CSV: name,iterations,real_time,cpu_time,time_unit,...,pictures/s (last column)
    mine=$(echo "$ours" | grep "^\"$bm" | awk -F, '{print $NF}')
    ratio=$(awk -v a="$mine" -v b="$theirs" 'BEGIN { print a / b }')
    printf '%-5s ours %8.1f pictures/s   ffmpeg %8.1f pictures/s   ratio %.2f\n' "$name" "$mine" "$theirs" "$ratio"
done

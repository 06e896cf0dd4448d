#!/usr/bin/python3
"""Encoding speed of `vxcodec encode` beside ffmpeg's H.263 encoder on the same clip.

Both encode the same raw I420 clip at the same fixed quantiser and key-frame interval on one
thread: our search mode 0 against ffmpeg with `-motion_est zero`, our modes 1 and 2 against
its default motion search. Speed is CPU time of the whole process (best of several runs),
so reading the raw clip counts on both sides; the ratio is ffmpeg's time over ours (above 1:
we are faster). Bits per picture come from the stream sizes, PSNR (luma, against the input)
from decoding each stream with ffmpeg.

usage: compare_ffmpeg.py --vxcodec build/bin/vxcodec [--frames 150] [--qp 6] [--gop 30]
"""
import argparse
import os
import re
import resource
import subprocess
import sys
import tempfile

SIZES = [(352, 288), (704, 576)]


def cpu_seconds(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def best_time(command, runs):
    return min(cpu_seconds(command) for _ in range(runs))


def psnr_y(raw, size, stream):
    w, h = size
    decoded = stream + ".yuv"
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "h263", "-i", stream,
                    "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "yuv420p", decoded], check=True)
    raw_input = ["-f", "rawvideo", "-s", f"{w}x{h}", "-pix_fmt", "yuv420p", "-i"]
    result = subprocess.run(
        ["ffmpeg", "-hide_banner"] + raw_input + [decoded] + raw_input + [raw] +
        ["-lavfi", "[0:v][1:v]psnr", "-f", "null", "-"],
        check=True, capture_output=True, text=True)
    match = re.search(r"PSNR y:([0-9.]+|inf)", result.stderr)
    return float(match.group(1)) if match else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--vxcodec", required=True)
    parser.add_argument("--frames", type=int, default=150)
    parser.add_argument("--qp", type=int, default=6)
    parser.add_argument("--gop", type=int, default=30)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    print(f"{args.frames} pictures per clip, quantiser {args.qp}, key-frame interval {args.gop}, one thread")
    print(f"{'size':>9} {'ours':>7} {'ffmpeg':>12} {'ours pic/s':>11} {'ffmpeg pic/s':>13} {'ratio':>6} "
          f"{'ours bits/pic':>14} {'ffmpeg bits/pic':>16} {'ours PSNR':>10} {'ffmpeg PSNR':>12}")
    with tempfile.TemporaryDirectory() as work:
        for (w, h) in SIZES:
            size = f"{w}x{h}"
            raw = os.path.join(work, f"{size}.yuv")
            # A moving test scene with camera-like temporal noise.
            subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            f"testsrc2=size={size}:rate=25,noise=alls=6:allf=t", "-frames:v", str(args.frames),
                            "-pix_fmt", "yuv420p", "-f", "rawvideo", raw], check=True)
            for mode, motion in ((0, "zero"), (1, "epzs"), (2, "epzs")):
                ours_stream = os.path.join(work, f"ours_{size}_{mode}.h263")
                theirs_stream = os.path.join(work, f"ffmpeg_{size}_{motion}.h263")
                ours = best_time([args.vxcodec, "encode", "--size", size, "--qp", str(args.qp), "--gop", str(args.gop),
                                  "--search", str(mode), raw, ours_stream], args.runs)
                theirs = best_time(["ffmpeg", "-hide_banner", "-y", "-threads", "1", "-f", "rawvideo", "-s", size,
                                    "-pix_fmt", "yuv420p", "-i", raw, "-c:v", "h263", "-threads", "1", "-qscale:v",
                                    str(args.qp), "-g", str(args.gop), "-bf", "0", "-motion_est", motion, "-f", "h263",
                                    theirs_stream], args.runs)
                ours_bits = os.path.getsize(ours_stream) * 8 / args.frames
                theirs_bits = os.path.getsize(theirs_stream) * 8 / args.frames
                print(f"{size:>9} {'mode ' + str(mode):>7} {'motion ' + motion:>12} {args.frames / ours:>11.0f} "
                      f"{args.frames / theirs:>13.0f} {theirs / ours:>6.2f} {ours_bits:>14.0f} {theirs_bits:>16.0f} "
                      f"{psnr_y(raw, (w, h), ours_stream):>10.2f} {psnr_y(raw, (w, h), theirs_stream):>12.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

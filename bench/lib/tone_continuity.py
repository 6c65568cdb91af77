#!/usr/bin/env python3
"""Checks that the sound of a recording of a steady tone has no gap and no repeated block: a
pure tone obeys x[n] = 2 cos(w) x[n-1] - x[n-2], so every sample where that prediction misses
by much is a break in the tone. Prints the sound's length, the video's, and the breaks.

    tone_continuity.py RECORDING.avi HERTZ
"""
import array
import math
import subprocess
import sys


def main():
    path, hertz = sys.argv[1], float(sys.argv[2])
    rate = int(subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "stream=sample_rate",
         "-of", "csv=p=0", path], capture_output=True, text=True, check=True).stdout.strip())
    video = float(subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=duration",
         "-of", "csv=p=0", path], capture_output=True, text=True, check=True).stdout.strip())
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le",
                          "-ac", "1", "-"], capture_output=True, check=True).stdout
    x = array.array("h", raw[: len(raw) // 2 * 2])
    factor = 2 * math.cos(2 * math.pi * hertz / rate)
    peak = max(abs(v) for v in x) if x else 0
    breaks = [n for n in range(2, len(x))
              if abs(x[n] - (factor * x[n - 1] - x[n - 2])) > 0.05 * peak]
    # The recording's first samples are the silence that lines the sound up with the picture.
    first_tone = next((n for n in range(len(x)) if abs(x[n]) > 0.5 * peak), 0)
    # The tone comes in where that silence ends: the first period is not a break.
    breaks = [n for n in breaks if n > first_tone + rate / hertz]
    print(f"sound {len(x) / rate:.3f} s, video {video:.3f} s, difference "
          f"{(len(x) / rate - video) * 1000:.0f} ms; tone from {first_tone / rate * 1000:.0f} ms; "
          f"{len(breaks)} breaks" + (f" at {[round(n / rate, 3) for n in breaks[:10]]} s"
                                     if breaks else ""))
    return 1 if breaks else 0


if __name__ == "__main__":
    sys.exit(main())

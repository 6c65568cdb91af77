#!/usr/bin/env python3
"""Finds the flashes in the picture and the clicks in the sound of a recording of
orvenna-flash-click, pairs them, and prints how late the sound is (ms): every pair, then the
mean, the spread (largest minus smallest) and the drift (slope of a line through the offsets,
in ms per 10 minutes).

    av_sync.py RECORDING.avi
"""
import array
import subprocess
import sys

RATE = 48000


def probe_start(path, stream):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
         "stream=start_time", "-of", "csv=p=0", path],
        capture_output=True, text=True, check=True).stdout.strip()
    return float(out) if out not in ("", "N/A") else 0.0


def video_flashes(path):
    """Times at which the picture turns from dark to bright."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-f", "lavfi", "-i", f"movie={path},signalstats",
         "-show_entries", "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0"],
        capture_output=True, text=True, check=True).stdout
    flashes, bright = [], False
    for line in out.splitlines():
        fields = line.split(",")
        if len(fields) < 2 or fields[0] in ("", "N/A"):
            continue
        time, level = float(fields[0]), float(fields[1])
        if level > 128 and not bright:
            flashes.append(time)
        bright = level > 128
    return flashes


def audio_clicks(path):
    """Times at which a sound louder than the test tone begins after 200 ms without one."""
    raw = subprocess.run(
        ["ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "1",
         "-ar", str(RATE), "-"], capture_output=True, check=True).stdout
    samples = array.array("h", raw[: len(raw) // 2 * 2])
    start = probe_start(path, "a:0")
    clicks, quiet = [], RATE  # samples since the last loud one
    for index, value in enumerate(samples):
        if abs(value) > 24000:
            if quiet >= RATE // 5:
                clicks.append(start + index / RATE)
            quiet = 0
        else:
            quiet += 1
    return clicks


def main():
    path = sys.argv[1]
    flashes = video_flashes(path)
    clicks = audio_clicks(path)
    # As many flashes as clicks: the k-th of each belong together, however far apart.
    # Otherwise each flash takes the click nearest to it, if one is within half a period.
    if len(flashes) == len(clicks):
        pairs = [(flash, (click - flash) * 1000) for flash, click in zip(flashes, clicks)]
    else:
        pairs = []
        for flash in flashes:
            nearest = min(clicks, key=lambda click: abs(click - flash), default=None)
            if nearest is not None and abs(nearest - flash) < 0.5:
                pairs.append((flash, (nearest - flash) * 1000))
    if not pairs:
        print(f"no flash paired with a click ({len(flashes)} flashes, {len(clicks)} clicks)")
        return 1
    offsets = [offset for _, offset in pairs]
    mean = sum(offsets) / len(offsets)
    drift = 0.0
    if len(pairs) > 2:
        times = [time for time, _ in pairs]
        mean_time = sum(times) / len(times)
        slope = sum((t - mean_time) * (o - mean) for t, o in pairs) / sum(
            (t - mean_time) ** 2 for t in times)
        drift = slope * 600
    print("offsets ms: " + " ".join(f"{offset:.0f}" for offset in offsets))
    print(f"pairs {len(pairs)} of {len(flashes)} flashes / {len(clicks)} clicks; "
          f"mean {mean:.1f} ms, spread {max(offsets) - min(offsets):.1f} ms, "
          f"drift {drift:.1f} ms per 10 min")
    return 0


if __name__ == "__main__":
    sys.exit(main())

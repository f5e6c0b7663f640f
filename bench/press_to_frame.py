#!/usr/bin/env python3
"""From a key press to the first frame that draws the own block moved.

Reads the game's quadrell.latency log (QT_LOGGING_RULES=quadrell.latency.debug=true)
from the files given or standard input:
    press US key K col C rot R width W   a step (K 2 right, 3 left) or turn (K 0)
    frame US col C rot R                 a frame showing the own block there is
                                         on screen (swapped)
and prints, over the steps and turns whose result was drawn within 2 s, the
count, the median and the 99th percentile in milliseconds and in frames (1:
the first frame swapped after the press shows it), and the frame interval.

    bench/press_to_frame.py program.log [LABEL]
"""
import re
import sys

PRESS = re.compile(r"press (\d+) key (\d+) col (\d+) rot (\d+) width (\d+)")
FRAME = re.compile(r"frame (\d+) col (\d+) rot (\d+)")


def percentile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * (len(values) - 1) + 0.5))]


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "-"
    label = sys.argv[2] if len(sys.argv) > 2 else path
    text = sys.stdin.read() if path == "-" else open(path, errors="replace").read()
    presses, frames = [], []
    for line in text.splitlines():
        if m := PRESS.search(line):
            presses.append(tuple(int(v) for v in m.groups()))
        elif m := FRAME.search(line):
            frames.append(tuple(int(v) for v in m.groups()))
    latencies, counts, missed = [], [], 0
    for t, key, col, rot, width in presses:
        # A step is drawn once the column shows, a turn once the turn does,
        # whatever else the same frame shows.
        if key == 2:
            drawn = lambda f: f[1] == (col + 1) % width
        elif key == 3:
            drawn = lambda f: f[1] == (col - 1) % width
        elif key == 0:
            drawn = lambda f: f[2] == (rot + 1) % 4
        else:
            continue
        after = [f for f in frames if t <= f[0] <= t + 2_000_000]
        shown = next((i for i, f in enumerate(after) if drawn(f)), None)
        if shown is None:
            missed += 1  # refused, or the block landed first
            continue
        latencies.append((after[shown][0] - t) / 1000.0)
        counts.append(shown + 1)
    if not latencies:
        print(f"{label}: no press drawn")
        return 1
    gaps = [(b[0] - a[0]) / 1000.0 for a, b in zip(frames, frames[1:])]
    print(f"{label}: {len(latencies)} presses drawn ({missed} not), "
          f"median {percentile(latencies, 0.5):.1f} ms, p99 {percentile(latencies, 0.99):.1f} ms; "
          f"in frames median {percentile(counts, 0.5)}, p99 {percentile(counts, 0.99)}; "
          f"frame interval median {percentile(gaps, 0.5):.1f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())

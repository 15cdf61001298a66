#!/usr/bin/env python3
"""Synthesise the four notification sounds into resources/.

Soft bell-like chimes: each note is a sine with two quiet overtones and an
exponential decay behind a short attack, so nothing clicks. Output is 16-bit
PCM mono at 22050 Hz. The script is deterministic: running it again gives the
same bytes.

Usage: scripts/make-sounds.py [output-dir]   (default: resources/ beside scripts/)
"""
import math
import os
import struct
import sys
import wave

RATE = 22050
PEAK = 0.55  # of full scale: pleasant, never harsh, and leaves headroom


def note_hz(name):
    """'A4' -> 440.0; sharps as 'C#5'."""
    steps = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    semis = steps[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        semis += 1
        rest = rest[1:]
    octave = int(rest)
    return 440.0 * 2 ** ((semis + 12 * (octave - 4)) / 12)


def bell(freq, t, decay, attack=0.006, glide=0.0):
    """One chime note at time t (seconds after its start)."""
    if t < 0:
        return 0.0
    env = min(1.0, t / attack) * math.exp(-t / decay)
    f = freq * (1.0 + glide * math.exp(-t / 0.04))
    phase = 2 * math.pi * f * t
    return env * (math.sin(phase) + 0.25 * math.sin(2 * phase) * math.exp(-t / (decay * 0.5))
                  + 0.08 * math.sin(3 * phase) * math.exp(-t / (decay * 0.3)))


def render(notes, seconds, glide=0.0):
    """notes: list of (start s, note name, decay s, gain)."""
    count = int(RATE * seconds)
    samples = []
    for i in range(count):
        t = i / RATE
        v = sum(g * bell(note_hz(n), t - s, d, glide=glide) for s, n, d, g in notes)
        samples.append(v)
    # Normalise, then fade the last 30 ms so the file ends in silence.
    top = max(abs(v) for v in samples) or 1.0
    fade = int(RATE * 0.03)
    out = []
    for i, v in enumerate(samples):
        tail = min(1.0, (count - i) / fade)
        out.append(int(round(v / top * PEAK * tail * 32767)))
    return out


SOUNDS = {
    # A message post arrived: a bright rising three-note chime.
    "MessegeR.wav": (render([(0.00, "C6", 0.18, 1.0),
                             (0.12, "E6", 0.18, 0.9),
                             (0.24, "G6", 0.30, 0.9)], 0.85)),
    # Someone calls for a chat: a friendly two-note "ding-dong", up a fifth.
    "connectok.wav": (render([(0.00, "G5", 0.22, 1.0),
                              (0.20, "D6", 0.35, 1.0)], 0.90)),
    # The chat ended: the same voice, gently falling.
    "connectend.wav": (render([(0.00, "E5", 0.20, 1.0),
                               (0.18, "A4", 0.35, 0.9)], 0.85)),
    # A notice arrived: one short soft "blip" with a small upward glide.
    "messegeR.wav": (render([(0.00, "A5", 0.10, 1.0),
                             (0.07, "A6", 0.08, 0.4)], 0.40, glide=-0.06)),
}


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(outdir, exist_ok=True)
    for name, samples in SOUNDS.items():
        path = os.path.join(outdir, name)
        write_wav(path, samples)
        print("%s: %.2f s, %d bytes" % (name, len(samples) / RATE, os.path.getsize(path)))


if __name__ == "__main__":
    main()

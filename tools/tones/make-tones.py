#!/usr/bin/env python3
"""Writes the three short sound files of the receiver ("Event.wav",
"Offline.wav", "New register.wav") as 16-bit mono PCM tones.

Usage: make-tones.py <output directory>
"""
import math
import struct
import sys
import wave

RATE = 8000
FADE_S = 0.01  # soft edges, so the tones do not click


def tone(freqs, seconds_each, volume=0.5):
    samples = []
    n = int(RATE * seconds_each)
    fade = int(RATE * FADE_S)
    for f in freqs:
        for i in range(n):
            edge = min(1.0, i / fade, (n - 1 - i) / fade)
            samples.append(int(32767 * volume * edge * math.sin(2 * math.pi * f * i / RATE)))
    return samples


def write(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    write(out + "/Event.wav", tone([880, 0, 880], 0.08))        # two short beeps
    write(out + "/Offline.wav", tone([660, 440], 0.2))         # falling pair
    write(out + "/New register.wav", tone([523, 659, 784], 0.1))  # rising triad


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Generates the short interface sounds of the document engine as 16-bit mono WAV files.

    python3 scripts/gen_sounds.py [output folder]    (default: document/model/resources)

All sounds share one soft voice (a sine with a quick attack, an exponential decay and a touch of the octave) so
they read as one family; they differ in pitch, length and shape.
"""

import math
import os
import struct
import sys
import wave

RATE = 22050


def tone(freq, ms, volume=0.35, decay=6.0, glide=0.0):
    n = int(RATE * ms / 1000)
    out = []
    phase = 0.0
    for i in range(n):
        t = i / n
        f = freq * (1.0 + glide * t)
        phase += 2 * math.pi * f / RATE
        attack = min(1.0, i / (RATE * 0.004))
        env = attack * math.exp(-decay * t) * (1.0 - t) ** 0.5
        out.append(volume * env * (math.sin(phase) + 0.18 * math.sin(2 * phase)))
    return out


def silence(ms):
    return [0.0] * int(RATE * ms / 1000)


SOUNDS = {
    "diClassesItemSound": lambda: tone(1320, 45, 0.28, 7.0),
    "diClassesElementSound": lambda: tone(660, 90, 0.34, 5.0, glide=0.25),
    "diClassesDisableSound": lambda: tone(440, 110, 0.34, 5.0, glide=-0.3),
    "diClassesValueSound": lambda: tone(1760, 35, 0.22, 8.0),
    "diClassesDropDownSound": lambda: tone(990, 60, 0.26, 6.0, glide=-0.15),
    "diLogMessageSound": lambda: tone(880, 70, 0.28, 5.0) + silence(15) + tone(1175, 110, 0.28, 5.0),
}


def write_wav(path, samples):
    """16-bit mono PCM; samples are floats in -1..1."""
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "document", "model",
                                                             "resources")
    for name, make in SOUNDS.items():
        write_wav(os.path.join(out, name + ".wav"), make())


if __name__ == "__main__":
    main()

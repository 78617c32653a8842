#!/usr/bin/env python3
"""The benchmarks' text: mail-like lines of Japanese and English, with
indentation of spaces, tabs and ideographic spaces, blank lines, and CR LF
and LF breaks, the same bytes every time.

  bench/mailtext.py PATH SIZE_MB
"""
import random
import sys


def make_text(path, size):
    """Writes whole lines, about `size` bytes of them, to path."""
    rnd = random.Random(20240601)
    words = ["the", "quick", "mail", "reply", "日本語", "引用", "テキスト", "です。", "symbol",
             "行頭", "インデント", "code", "x = 1;", "お世話になっております。"]
    lines = []
    for _ in range(20000):
        if rnd.random() < 0.1:
            lines.append(rnd.choice(["", "  ", "\u3000"]) + rnd.choice(["\r\n", "\n"]))
            continue
        indent = "".join(rnd.choice(" \t\u3000") for _ in range(rnd.randrange(4)))
        body = " ".join(rnd.choice(words) for _ in range(2 + rnd.randrange(10)))
        lines.append(indent + body + rnd.choice(["\r\n", "\r\n", "\n"]))
    block = "".join(lines).encode("utf-8")
    with open(path, "wb") as f:
        written = 0
        while written + len(block) <= size:
            f.write(block)
            written += len(block)
        f.write(block[: block.rfind(b"\n", 0, size - written) + 1])


if __name__ == "__main__":
    make_text(sys.argv[1], int(sys.argv[2]) << 20)

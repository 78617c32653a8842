#!/usr/bin/env python3
"""Renders the Japanese manual page as it is installed (break points added
by manual-breaks.pl) at 80 columns, and checks that troff warns about
nothing, no word is hyphenated and the text follows Japanese line breaking: no line starts
with closing punctuation, the long vowel mark or small kana, none ends with
an opening bracket, no number is cut from its counter nor CR from LF, no space
falls between two Japanese characters, and no
half-width bracket is closed by a full-width one or the other way round.
Usage: manual-ja-test.py PERL BREAKS-SCRIPT PAGE"""
import os
import subprocess
import sys
import tempfile
import unicodedata

NO_START = set("、。，．：；！？）」』】〕］｝〉》ー・ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ")
NO_END = set("（「『【〔［｛〈《")
PAIRS = {")": "(", "）": "（"}


def wide(c):
    return unicodedata.east_asian_width(c) in "WF"


def faults(text):
    found = []
    lines = text.split("\n")
    for n, line in enumerate(lines, 1):
        width = sum(2 if wide(c) else 1 for c in line)
        if width > 80:
            found.append(f"line {n} is {width} columns wide: {line}")
        body = line.strip()
        if body and body[0] in NO_START:
            found.append(f"line {n} starts with {body[0]}: {line}")
        if body.endswith("\u2010"):
            found.append(f"line {n} ends in a hyphenated word: {line}")
        if body and body[-1] in NO_END:
            found.append(f"line {n} ends with {body[-1]}: {line}")
        for i in range(1, len(line) - 1):
            if line[i] == " " and wide(line[i - 1]) and wide(line[i + 1]):
                found.append(f"line {n} has a space between Japanese characters: {line}")
                break
    # A number stays with its counter (「1 行」), a pair of names together (「CR LF」).
    for n in range(1, len(lines)):
        before, after = lines[n - 1].rstrip(), lines[n].strip()
        if before[-1:].isdigit() and after[:1] and wide(after[0]) and after[0] not in NO_START:
            found.append(f"line {n} splits a number from its counter: {before} / {after}")
        if before.endswith("CR") and after.startswith("LF"):
            found.append(f"line {n} splits CR LF: {before} / {after}")
    for paragraph in text.split("\n\n"):
        stack = []
        for c in paragraph:
            if c in "(（":
                stack.append(c)
            elif c in PAIRS:
                if stack and stack[-1] != PAIRS[c]:
                    found.append(f"{stack[-1]} closed by {c}: {' '.join(paragraph.split())}")
                if stack:
                    stack.pop()
    return found


def main():
    perl, breaks, page = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as work:
        prepared = os.path.join(work, "marquill.1")
        prepare = subprocess.run([perl, breaks, page, prepared], capture_output=True, text=True)
        env = dict(os.environ, LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8", MANWIDTH="80", MAN_KEEP_FORMATTING="")
        shown = subprocess.run(["man", "--warnings", "-l", prepared], env=env, capture_output=True, text=True)
    found = [f"{breaks}: {w}" for w in prepare.stderr.splitlines()] + [f"troff: {w}" for w in shown.stderr.splitlines()]
    if prepare.returncode != 0:
        found.append(f"{breaks} failed ({prepare.returncode})")
    if shown.returncode != 0 or not shown.stdout:
        found.append(f"man failed ({shown.returncode})")
    found += faults(shown.stdout)
    for f in found:
        print(f, file=sys.stderr)
    # The checks themselves: each rule is seen to fail on a page that breaks it.
    for bad in ["あ\n）い", "あ（\nい", "あ\nーい", "あ い", "(あ）", "x" * 81, "MAR\u2010\nQUILL", "あ 1\n行", "CR\nLF"]:
        if not faults(bad):
            print(f"the check passes a page that breaks a rule: {bad!r}", file=sys.stderr)
            found.append(bad)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

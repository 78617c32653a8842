#!/usr/bin/env python3
"""The guides as the Windows zip holds them (README-ja.txt, README-en.txt),
made by scripts/package-win32 from docs/guide-*.md: every line fits Notepad's
80 columns, follows Japanese line breaking, breaks only at a space, after
closing punctuation or before an opening bracket, keeps every word, command,
path and quoted name of the user interface whole, loses no text and shows no
Markdown backticks.

Usage: guide_text_test.py SOURCE-DIR"""
import importlib.machinery
import importlib.util
import pathlib
import re
import sys

# Names that a reader searches for or types: never cut.
WHOLE = ["certutil -hashfile Marquill.dll SHA256", "設定編集", "名前を付けて保存", "先頭記号を挿入します",
         "挿入します", "Program Files", "%APPDATA%\\Marquill\\Marquill_Setting.txt", "Marquill_Setting.txt",
         "marquill.toggleEntry", "シェル/Python コメント"]


def load(root):
    loader = importlib.machinery.SourceFileLoader("package_win32", str(root / "scripts/package-win32"))
    module_spec = importlib.util.spec_from_loader("package_win32", loader)
    module = importlib.util.module_from_spec(module_spec)
    loader.exec_module(module)
    return module


def squeeze(text):
    return re.sub(r"\s+", "", text)


def check_paragraph(pw, source, japanese, faults, lines=None):
    lines = pw.wrap(source, japanese) if lines is None else lines
    where = source[:40]
    if squeeze("".join(lines)) != squeeze(source.replace("`", "")):
        faults.append(f"text lost or changed: {where}")
    for n, line in enumerate(lines):
        width = pw.font_width(line) if japanese else pw.display_width(line)
        body = line.strip()
        if width > pw.WIDTH:
            faults.append(f"{width} columns: {line}")
        if "`" in line:
            faults.append(f"a backtick: {line}")
        if body and (body[0] in pw.NO_START or body[-1] in pw.NO_END):
            faults.append(f"against Japanese line breaking: {line}")
        if n and japanese:
            x, y = lines[n - 1].rstrip()[-1:], body[:1]
            allowed = x in pw.BREAK_AFTER or y in pw.NO_END or f"{x} {y}" in source.replace("`", "")
            if not allowed:
                faults.append(f"a break inside a word: {lines[n - 1].strip()} / {body}")
    # Quoted names and code spans of the source, and the fixed list, whole.
    names = WHOLE + re.findall(r"「[^」]{1,30}」", source) + [c for c in re.findall(r"`([^`]*)`", source) if len(c) <= 60]
    for name in names:
        total = squeeze("".join(lines)).count(squeeze(name))
        if total and sum(squeeze(line).count(squeeze(name)) for line in lines) != total:
            faults.append(f"{name!r} cut: {' / '.join(l.strip() for l in lines)}")


def main():
    root = pathlib.Path(sys.argv[1])
    pw = load(root)
    faults = []
    for guide, japanese in (("guide-ja.md", True), ("guide-en.md", False)):
        markdown = (root / "docs" / guide).read_text(encoding="utf-8")
        for line in markdown.splitlines():
            if line.strip() and not line.startswith(("#", "![", "    ")):
                found = []
                check_paragraph(pw, line, japanese, found)
                faults += [f"{guide}: {f}" for f in found]
        text = pw.guide_text(markdown, japanese)
        if "`" in text:
            faults.append(f"{guide}: backticks left in the text")
    # The checks themselves fail on lines that break them.
    source = "コマンド「設定編集」を選び、`certutil -hashfile x` を実行します。"
    for bad in (["コマンド「設定", "編集」を選び、certutil -hashfile x を実行します。"],
                ["コマンド「設定編集」を選び、certutil", "-hashfile x を実行します。"],
                ["コマンド「設定編集」を選び、`certutil -hashfile x` を実行します。"],
                ["コマンド「設定編集」を選び、certutil -hashfile x を実行しま", "す。"],
                ["コマンド「設定編集」を選び、certutil -hashfile x を実行します", "。"]):
        found = []
        check_paragraph(pw, source, True, found, bad)
        if not found:
            faults.append(f"the check passes {bad}")
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

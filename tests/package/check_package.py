#!/usr/bin/env python3
"""The Windows release zip: built twice into fresh folders it has the same
bytes; its file list, its DLL and filter (the built ones), its text formats,
the starter list's entries and its SHA-256 sums are checked.

Usage: check_package.py PACKAGE_SCRIPT Marquill.dll marquill.exe LICENSE
"""
import hashlib
import pathlib
import subprocess
import sys
import tempfile
import unicodedata
import zipfile

EXPECTED_NAMES = ["LICENSE", "Marquill.dll", "README-en.txt", "README-ja.txt", "SHA256SUMS", "marquill.exe",
                  "sample/Marquill_Setting.txt"]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def build(script, dll, exe, folder):
    out = pathlib.Path(folder) / "Marquill-win32.zip"
    subprocess.run([sys.executable, script, "--dll", dll, "--exe", exe, "--out", str(out)], check=True,
                   stdout=subprocess.DEVNULL)
    return out.read_bytes()


def main():
    script, dll, exe, license_file = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
        first, second = build(script, dll, exe, a), build(script, dll, exe, b)
        check(first == second, "two builds of the zip differ")
        with zipfile.ZipFile(pathlib.Path(a) / "Marquill-win32.zip") as z:
            infos = z.infolist()
            files = {i.filename: z.read(i) for i in infos}

    check([i.filename for i in infos] == EXPECTED_NAMES, f"entries {[i.filename for i in infos]}")
    check(len({i.date_time for i in infos}) == 1, "entries carry different times")
    check(files.get("Marquill.dll") == pathlib.Path(dll).read_bytes(), "the zip's DLL is not the built one")
    check(files.get("marquill.exe") == pathlib.Path(exe).read_bytes(), "the zip's marquill.exe is not the built one")
    check(files.get("LICENSE") == pathlib.Path(license_file).read_bytes(), "LICENSE differs from the repository's")
    check(b"Copyright (c) the Marquill authors" in files.get("LICENSE", b""), "LICENSE names no authors")

    for guide, marker in (("README-ja.txt", "設定ファイル"), ("README-en.txt", "settings file")):
        data = files.get(guide, b"")
        check(data.startswith(b"\xef\xbb\xbf"), f"{guide} has no UTF-8 byte order mark")
        check(data.replace(b"\r\n", b"").find(b"\n") < 0 and b"\r\n" in data, f"{guide} has line ends other than CR LF")
        check(marker in data.decode("utf-8", "replace"), f"{guide} lacks '{marker}'")
        check(b"![" not in data, f"{guide} keeps picture markup")
        # Notepad does not wrap: 80 columns, a full-width character counting
        # two, and in the Japanese guide, read in a Japanese font, a box
        # drawing one too.
        wide = "WFA" if guide == "README-ja.txt" else "WF"
        for n, line in enumerate(data.decode("utf-8", "replace").split("\r\n"), 1):
            width = sum(2 if unicodedata.east_asian_width(c) in wide else 1 for c in line)
            check(width <= 80, f"{guide} line {n} is {width} columns wide")
            check(not line.strip() or line.strip()[0] not in "、。）」ー", f"{guide} line {n} starts with {line.strip()[:1]}")

    # The starter list: code page 932, CR LF, every line an entry of two tab-separated fields.
    sample = files.get("sample/Marquill_Setting.txt", b"")
    check(not sample.startswith((b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff")), "the starter list has a byte order mark")
    text = sample.decode("cp932")
    lines = text.split("\r\n")
    check(lines[-1] == "" and "\n" not in text.replace("\r\n", "") and "\r" not in text.replace("\r\n", ""),
          "the starter list's line ends are not all CR LF")
    symbols = []
    for line in lines[:-1]:
        fields = [f for f in line.split("\t") if f]
        check(len(fields) == 2, f"starter entry {line!r} is not symbol TAB caption")
        check("&" in fields[-1] and "\\t" in fields[-1], f"starter entry {line!r} lacks an access key or shortcut column")
        symbols.append(fields[0])
    for wanted in ("> ", "＞", "// ", "' ", "# ", "REM ", "-- ", "・", "※ ", "● "):
        check(wanted in symbols, f"the starter list lacks the symbol {wanted!r}")

    sums = files.get("SHA256SUMS", b"").decode("ascii").splitlines()
    listed = {}
    for row in sums:
        digest, name = row.split("  ", 1)
        listed[name] = digest
    check(sorted(listed) == [n for n in EXPECTED_NAMES if n != "SHA256SUMS"], f"SHA256SUMS lists {sorted(listed)}")
    for name, digest in listed.items():
        check(hashlib.sha256(files.get(name, b"")).hexdigest() == digest, f"SHA256SUMS is wrong for {name}")

    for f in failures:
        print("FAILED:", f)
    print(f"package: {'ok' if not failures else 'FAILED'}; sha256 of the zip {hashlib.sha256(first).hexdigest()}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""marquill.exe, the filter of the Windows zip, under Wine with a Japanese
locale: each row runs it over files in a fresh folder and compares what it
wrote to standard output and standard error, its exit status and the files
afterwards.

Usage: filter_exe_test.py WINE-RUN marquill.exe
"""
import json
import os
import subprocess
import sys
import tempfile

GT = "\uff1e"  # fullwidth greater-than sign, ＞
# A settings file in code page 932, as the plug-in's users keep it.
CP932_SETTINGS = f"{GT} \t引用(&Q)\r\n// \tコメント(&C)\r\n".encode("cp932")
BAD = b"ok\r\n\xe3\x81\r\n"  # a character cut off in the second line

# name, arguments, files before, expected standard output, files after,
# exit status, a text the standard error holds
ROWS = [
    ("insert", ["insert", "> ", "a.txt"], {"a.txt": b"one\r\n  two\n\nthree"},
     b"> one\r\n>   two\n> \n> three", {}, 0, ""),
    ("insert at the least indentation", ["insert", "--at", "char", "# ", "a.txt"],
     {"a.txt": b"  a\r\n    b\r\n"}, b"  # a\r\n  #   b\r\n", {}, 0, ""),
    ("toggle deletes", ["toggle", "> ", "a.txt"], {"a.txt": b"> one\r\n> two\r\n"}, b"one\r\ntwo\r\n", {}, 0, ""),
    ("toggle inserts", ["toggle", "> ", "a.txt"], {"a.txt": b"> one\r\ntwo\r\n"},
     b"> > one\r\n> two\r\n", {}, 0, ""),
    ("entries of a code page 932 file", ["entries", "--settings", "s.txt"], {"s.txt": CP932_SETTINGS},
     f"{GT} \t引用(&Q)\n// \tコメント(&C)\n".encode(), {}, 0, ""),
    ("an entry by caption", ["insert", "--settings", "s.txt", "--entry", "引用", "a.txt"],
     {"s.txt": CP932_SETTINGS, "a.txt": "メール\r\n".encode()}, f"{GT} メール\r\n".encode(), {}, 0, ""),
    ("in place, keeping the original", ["delete", "-i.bak", "> ", "a.txt"], {"a.txt": b"> x\r\n> y\r\n"}, b"",
     {"a.txt": b"x\r\ny\r\n", "a.txt.bak": b"> x\r\n> y\r\n"}, 0, ""),
    ("in place, flushed and moved over the original", ["insert", "-i", "--at", "char", "# ", "日本語.txt"],
     {"日本語.txt": b"\tx\r\n\ty\r\n"}, b"", {"日本語.txt": b"\t# x\r\n\t# y\r\n"}, 0, ""),
    ("a bad byte in a file with a Japanese name", ["insert", "> ", "日本語.txt"], {"日本語.txt": BAD}, b"> ok\r\n",
     {"日本語.txt": BAD}, 2, "marquill:日本語.txt:2:1: 正しい UTF-8 ではありません"),
    ("in place refused on a bad byte", ["insert", "-i", "> ", "日本語.txt"], {"日本語.txt": BAD}, b"",
     {"日本語.txt": BAD}, 2, "正しい UTF-8 ではありません"),
    ("a missing file, with the system's reason", ["insert", "> ", "nofile.txt"], {}, b"", {}, 1,
     "marquill: 「nofile.txt」を開けません: そのようなファイルやフォルダーはありません"),
    ("a folder", ["insert", "> ", "."], {}, b"", {}, 1, "marquill: 「.」を"),
    ("a usage error", ["insert", "--at", "middle", "x"], {}, b"", {}, 2,
     "--at の値「middle」は正しくありません（head か char を指定してください）"),
]

# Environment (scripts/wine-run sets LC_ALL=ja_JP.UTF-8), arguments, the start
# of standard output, standard error: the language follows what an editor sets,
# and a line never mixes languages.
LANGUAGE_ROWS = [
    ({}, ["--help"], "使い方:", ""),
    ({"LANGUAGE": "en"}, ["--help"], "Usage: marquill", ""),
    ({"LANGUAGE": "en"}, ["insert", "> ", "nofile.txt"], "",
     "marquill: cannot open 'nofile.txt': No such file or folder\n"),
    ({"LANGUAGE": "en"}, ["entries", "--format=json", "--settings", "nofile.txt"], '{"version"', ""),
]


def run_row(wine_run, exe, row):
    name, args, before, out, after, status, err = row
    with tempfile.TemporaryDirectory() as folder:
        for file, data in before.items():
            with open(os.path.join(folder, file), "wb") as f:
                f.write(data)
        r = subprocess.run([wine_run, exe] + args, cwd=folder, capture_output=True, timeout=120)
        got = {file: open(os.path.join(folder, file), "rb").read() for file in os.listdir(folder)}
    failures = []
    if r.returncode != status:
        failures.append(f"exit status {r.returncode}, expected {status}")
    if r.stdout != out:
        failures.append(f"standard output {r.stdout!r}, expected {out!r}")
    stderr = r.stderr.decode("utf-8", "replace")
    if err not in stderr or (not err and stderr):
        failures.append(f"standard error {stderr!r}, expected it to hold {err!r}")
    for file, data in {**before, **after}.items():
        if got.get(file) != data:
            failures.append(f"{file} holds {got.get(file)!r}, expected {data!r}")
    for file in got.keys() - before.keys() - after.keys():
        failures.append(f"{file} was left in the folder")
    return [f"{name}: {f}" for f in failures]


def languages(wine_run, exe):
    failures = []
    for env, args, out, err in LANGUAGE_ROWS:
        r = subprocess.run(["env"] + [f"{k}={v}" for k, v in env.items()] + [wine_run, exe] + args,
                           capture_output=True, timeout=120)
        got = (r.stdout.decode("utf-8", "replace")[:len(out)], r.stderr.decode("utf-8", "replace"))
        if got != (out, err) and not (err and got == (out, err.replace("\n", "\r\n"))):
            failures.append(f"languages {env} {args}: {got!r}, expected {(out, err)!r}")
    # The menu's fixed captions follow the language; the user's stay as stored.
    for env, cancel in [({}, "キャンセル"), ({"LANGUAGE": "en"}, "Cancel")]:
        r = subprocess.run(["env"] + [f"{k}={v}" for k, v in env.items()] + [wine_run, exe, "entries", "--format=json"],
                           capture_output=True, timeout=120)
        try:
            captions = [i["caption"] for i in json.loads(r.stdout.decode("utf-8"))["menu"]["items"]]
        except (ValueError, KeyError) as e:
            captions = [str(e)]
        if captions[-1:] != [cancel]:
            failures.append(f"languages {env}: menu {captions!r}")
    return failures


def held_open_and_read_only(wine_run, exe):
    """A file held open by another (here cmd, for standard input) cannot be
    replaced: the edit says why, and the file and its older backup stay as
    they were. Output appended to its own input is refused. A read-only
    file stays read-only once edited."""
    failures = []
    english = dict(os.environ, LANGUAGE="en")  # the messages checked below are the English ones
    with tempfile.TemporaryDirectory() as folder:
        def put(name, data):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        put("h.txt", b"a\r\n")
        put("h.txt.bak", b"older\r\n")
        r = subprocess.run([wine_run, "cmd", "/c", f"{exe} insert -i.bak # h.txt < h.txt 2> err.txt"], cwd=folder,
                           capture_output=True, timeout=120, env=english)
        err = open(os.path.join(folder, "err.txt"), "rb").read().decode("utf-8", "replace")
        os.remove(os.path.join(folder, "err.txt"))
        got = {file: open(os.path.join(folder, file), "rb").read() for file in os.listdir(folder)}
        if got != {"h.txt": b"a\r\n", "h.txt.bak": b"older\r\n"}:
            failures.append(f"held open: the folder holds {got!r}")
        reason = err.partition("cannot replace 'h.txt': ")[2].strip()
        if not reason:
            failures.append(f"held open: standard error {err!r} gives no reason")
        r = subprocess.run([wine_run, "cmd", "/c", f"{exe} insert # h.txt >> h.txt 2> err.txt"], cwd=folder,
                           capture_output=True, timeout=120, env=english)
        err = open(os.path.join(folder, "err.txt"), "rb").read().decode("utf-8", "replace")
        os.remove(os.path.join(folder, "err.txt"))
        if "'h.txt' is the output file too" not in err or open(os.path.join(folder, "h.txt"), "rb").read() != b"a\r\n":
            failures.append(f"appended to its input: standard error {err!r}")
        put("r.txt", b"a\r\n")
        os.chmod(os.path.join(folder, "r.txt"), 0o444)
        # Twice with a backup: the first backup is read-only too.
        for edited in (b"# a\r\n", b"# # a\r\n"):
            r = subprocess.run([wine_run, exe, "insert", "-i~", "# ", "r.txt"], cwd=folder, capture_output=True,
                               timeout=120)
            if r.returncode != 0 or open(os.path.join(folder, "r.txt"), "rb").read() != edited:
                failures.append(f"read-only: status {r.returncode}, {r.stderr!r}")
        if os.stat(os.path.join(folder, "r.txt")).st_mode & 0o222:
            failures.append("read-only: the edited file is writable")
    return failures


def default_settings(wine_run, exe):
    """Without --settings or MARQUILL_SETTINGS, the file in effect is the
    user's own under the roaming application data folder."""
    env = {k: v for k, v in os.environ.items() if k != "MARQUILL_SETTINGS"}
    r = subprocess.run([wine_run, exe, "entries", "--format=json"], env=env, capture_output=True, timeout=120)
    try:
        path = json.loads(r.stdout.decode("utf-8"))["settings"]["path"]
    except (ValueError, KeyError) as e:
        return [f"default settings file: no listing ({e}; status {r.returncode}, {r.stderr!r})"]
    if r.returncode != 0 or not path.endswith("\\Marquill\\Marquill_Setting.txt") or "\\" not in path[:3]:
        return [f"default settings file: {path!r}, status {r.returncode}"]
    appdata = subprocess.run([wine_run, "cmd", "/c", "echo %APPDATA%"], capture_output=True, timeout=120)
    if not path.lower().startswith(appdata.stdout.decode("utf-8", "replace").strip().lower()):
        return [f"default settings file: {path!r} is not under {appdata.stdout!r}"]
    return []


def main():
    wine_run, exe = sys.argv[1:3]
    failures = [f for row in ROWS for f in run_row(wine_run, os.path.abspath(exe), row)]
    failures += default_settings(wine_run, os.path.abspath(exe))
    failures += languages(wine_run, os.path.abspath(exe))
    failures += held_open_and_read_only(wine_run, os.path.abspath(exe))
    for f in failures:
        print("FAILED:", f)
    print(f"marquill.exe: {len(ROWS) - len({f.split(':')[0] for f in failures})} of {len(ROWS)} rows as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

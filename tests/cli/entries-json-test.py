#!/usr/bin/env python3
"""entries --format=json parsed as JSON: the settings file and its encoding,
every form of each caption, the menu and the options; every entry's "entry"
text, given to --entry, picks that entry, and every menu item's arguments
make an edit the filter takes. The menu's fixed captions are the plug-in's
own (engine/MenuItems.h) for a Japanese user and English for any other.
Usage: entries-json-test.py MARQUILL MENU-ITEMS-HEADER"""
import json
import os
import re
import subprocess
import sys
import tempfile

marquill = sys.argv[1]
failures = []


def run(args, stdin=b"", env=None):
    return subprocess.run([marquill] + args, input=stdin, capture_output=True, env=env)


def listing(args, env=None):
    r = run(["entries", "--format=json"] + args, env=env)
    if r.returncode != 0:
        failures.append(f"{args}: status {r.returncode}: {r.stderr!r}")
        return None
    return json.loads(r.stdout.decode("utf-8"))


def expect(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


with tempfile.TemporaryDirectory() as work:
    def write(name, data):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    # symbol, field as stored, label, shortcut, entry
    rows = [
        ("> ", "メール引用(&M)\\t>", "メール引用", ">", "メール引用"),
        ("# ", "S&cript && shell", "Script & shell", "", "Script & shell"),
        ("% ", "TeX (&T) \\tCtrl+T", "TeX", "Ctrl+T", "TeX"),
        ("M ", "Mi(&d)dle", "Mi(d)dle", "", "Mi(d)dle"),
        ("1 ", "2024", "2024", "", "5"),
        ("A ", "Same(&A)", "Same", "", "6"),
        ("B ", "Same(&B)", "Same", "", "7"),
        ("\"\\ ", "q\"uo\\\\te\\\\", "q\"uo\\te\\", "", "q\"uo\\te\\"),
        ("C ", "ctl\x01\x1f \\ncut", "ctl\x01\x1f \ncut", "", "9"),
        ("D ", "Script & shell", "Script  shell", "", "Script  shell"),  # "& " shows a blank
        ("E ", "Trail(&E)\\t> ", "Trail", ">", "Trail"),
    ]
    # The access key of each entry, as the popup menu takes it.
    keys = ["M", "c", "T", "d", "", "A", "B", "", "", " ", "E"]
    text = "".join(f"{s}\t{c}\r\n" for s, c, *_ in rows) + "not an entry\r\n"
    # The caption of entry 2 as the menu shows it is entry 10's caption as
    # stored: --entry takes the stored one first, so entry 2 is chosen by number.
    rows[1] = rows[1][:4] + ("2",)
    for encoding, data, name in [
        ("utf-8", text.encode("utf-8"), "plain.txt"),
        ("utf-8-bom", b"\xef\xbb\xbf" + text.encode("utf-8"), "bom.txt"),
        ("utf-16le", b"\xff\xfe" + text.encode("utf-16-le"), "le.txt"),
        ("utf-16be", b"\xfe\xff" + text.encode("utf-16-be"), "be.txt"),
    ]:
        path = write(name, data)
        got = listing(["--settings", path])
        if got is None:
            continue
        expect(f"{name} settings", got["settings"],
               {"path": path, "exists": True, "encoding": encoding, "line_break": "\r\n",
                "starter": "/usr/share/doc/marquill/examples/Marquill_Setting.txt"})
        expect(f"{name} numbers", [e["number"] for e in got["entries"]], list(range(1, len(rows) + 1)))
        for e, (symbol, stored, label, shortcut, entry) in zip(got["entries"], rows):
            expect(f"{name} entry {e['number']}", (e["symbol"], e["caption"], e["label"], e["shortcut"], e["entry"]),
                   (symbol, stored, label, shortcut, entry))
            r = run(["insert", "--settings", path, "--entry", e["entry"]], b"x")
            expect(f"{name} --entry {e['entry']!r}", (r.returncode, r.stdout), (0, symbol.encode() + b"x"))
            expect(f"{name} key {e['number']}", e.get("key"), keys[e["number"] - 1])
            # The caption exactly as listed, trailing blank and escapes kept.
            if not e["caption"].isdigit():
                r = run(["insert", "--settings", path, "--entry", e["caption"]], b"x")
                expect(f"{name} --entry {e['caption']!r}", (r.returncode, r.stdout), (0, symbol.encode() + b"x"))
    # Code page 932, and line breaks of other kinds.
    cp932 = write("cp932.txt", "> \tメール\r# \tシェル\r".encode("cp932"))
    got = listing(["--settings", cp932])
    expect("cp932", got and (got["settings"]["encoding"], got["settings"]["line_break"],
                             [e["label"] for e in got["entries"]]), ("cp932", "\r", ["メール", "シェル"]))
    got = listing(["--settings", cp932, "--settings-encoding", "cp932"])
    expect("cp932 asked for", got and got["settings"]["encoding"], "cp932")
    # A missing file: its path still, and no entries; relative paths made absolute.
    os.chdir(work)
    got = listing(["--settings", "missing.txt"])
    expect("missing", got and (got["settings"], got["entries"]),
           ({"path": os.path.join(work, "missing.txt"), "exists": False, "encoding": "utf-8", "line_break": "\n",
             "starter": "/usr/share/doc/marquill/examples/Marquill_Setting.txt"}, []))
    os.environ["MARQUILL_SETTINGS"] = os.path.join(work, "nowhere", "Marquill_Setting.txt")
    got = listing([])
    expect("missing default", got and got["settings"]["path"], os.environ["MARQUILL_SETTINGS"])
    # A file that cannot be decoded is refused.
    bad = write("bad.txt", b"> \t\xff\xfe\xfd\n")
    # An unreadable file keeps its path, the menu and the options listed, so
    # that the editors can still open it; the error is the filter's own.
    plain = run(["entries", "--settings", bad, "--settings-encoding", "utf-8"])
    expect("undecodable, plain", plain.returncode, 2)
    got = listing(["--settings", bad, "--settings-encoding", "utf-8"])
    expect("undecodable", got and (got["settings"]["path"], got["settings"].get("error"), got["entries"],
                                   len(got["menu"]["items"]) > 0),
           (bad, plain.stderr.decode("utf-8").rstrip("\n"), [], True))
    got = listing(["--settings", write("ok.txt", b"> \tq\n")])
    expect("readable has no error", got and "error" in got["settings"], False)
    expect("--null with json", run(["entries", "--format=json", "--null"]).returncode, 2)
    # A path that is not UTF-8 shows U+FFFD in "path" and its exact bytes in
    # "path_bytes", which name the file itself.
    for name in [b"caf\xe9.txt", b"\xff\xfe.txt", b"half\xe3\x81.txt"]:
        raw = os.fsencode(work) + b"/" + name
        with open(raw, "wb") as f:
            f.write(b"> \tq\n")
        r = subprocess.run([marquill, "entries", "--format=json", "--settings", raw], capture_output=True)
        got = json.loads(r.stdout.decode("utf-8"))["settings"]
        expect(f"{name!r} path", ("\ufffd" in got["path"], bytes(got.get("path_bytes", []))), (True, raw))
        expect(f"{name!r} read", got["exists"] and "error" not in got, True)

    # The menu: every edit item's arguments (with an entry where it lists them) are an edit the filter makes.
    got = listing(["--settings", cp932])
    items = got["menu"]["items"]
    expect("menu limit", got["menu"]["entry_limit"], 1000)
    expect("menu actions", [i["action"] for i in items][-2:], ["edit-settings", "cancel"])
    for item in items:
        if item["action"] != "edit":
            continue
        args = item["args"] + (["--entry", "1"] if item["per_entry"] else []) + ["--settings", cp932]
        r = run(args, b"  a\n")
        expect(f"menu {item['group']}/{item['caption']}", (r.returncode, r.stderr), (0, b""))
    # Every option listed for a verb is one the filter takes with that verb.
    for command in got["commands"]:
        for option in command["options"]:
            args = [command["verb"], option["name"]]
            if "values" in option and option.get("argument") == "required":
                args.append((option["values"] or ["4" if option["name"] == "--tab-width" else "x"])[0])
            r = run(args)
            expect(f"{args}", b"is not for" in r.stderr or b"unknown option" in r.stderr, False)
    # A verb listed as taking FILE operands reads one; another refuses it.
    text = write("text.txt", b"a\n")
    for command in got["commands"]:
        args = [command["verb"]] + (["-e", "x"] if command["files"] else []) + [text]
        expect(f"{args}", run(args).returncode, 0 if command["files"] else 2)
    # The fixed captions in the user's language; the user's own as stored.
    plugin = [(None if g == "nullptr" else g[2:-1], c)
              for g, c in re.findall(r'\{(?:true|false), (nullptr|u"[^"]*"), u"([^"]*)"', open(sys.argv[2]).read())]
    base = {k: v for k, v in os.environ.items() if k not in ("LANGUAGE", "LC_MESSAGES", "LANG")}
    for language, env in [("ja", {"LC_ALL": "ja_JP.UTF-8"}), ("ja", {"LANG": "C.UTF-8", "LANGUAGE": "ja"}),
                          ("en", {"LC_ALL": "C.UTF-8"}), ("en", {"LC_ALL": "ja_JP.UTF-8", "LANGUAGE": "en"}),
                          ("en", {"LC_ALL": "C"})]:
        got = listing(["--settings", cp932], dict(base, **env))
        shown = [(i["group"], i["caption"]) for i in got["menu"]["items"]]
        expect(f"{env} user's captions", [e["label"] for e in got["entries"]], ["メール", "シェル"])
        if language == "ja":
            expect(f"{env} menu", shown, plugin)
        else:
            wide = [t for pair in shown for t in pair if t and re.search("[\u3000-\uffff]", t)]
            expect(f"{env} menu in English", (len(shown), wide), (len(plugin), []))
            expect(f"{env} menu captions apart", len(set(shown)), len(shown))

for f in failures:
    print(f, file=sys.stderr)
sys.exit(1 if failures else 0)

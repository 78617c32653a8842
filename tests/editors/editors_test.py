#!/usr/bin/env python3
"""The editor plug-ins as the Debian package installs them, in Vim, Neovim
and Emacs run headless.

Unpacks the package that package-build.sh made with dpkg -x into a
temporary root and points the editors at the root's folders the way they
look on a system (Vim's $VIM/vimfiles, Neovim's XDG_DATA_DIRS site folder,
Emacs' site-lisp).  The Vim plug-in must be a package of its own there,
with nothing in the folders other packages share.  Every case of
documents.txt is run in each editor; the file each writes back must equal
the filter's output on the range's bytes spliced into the document, one
undo must give the document back, and a failure must leave it as it was and
show the filter's message.  Every document of the toggle table, toggled
twice over the whole buffer at tab widths 2, 4 and 8, must give the
filter's first toggle (which keeps every blank, as a model checks) and
then the original bytes.  Then each editor runs its own checks of the
keys, repetition, the menu, the toggle's symbol, what stays outside the
buffer, completion, settings, help and where they are loaded from, and
the language of what they show (languages.py); Emacs
also starts with nothing but the package's start-up file, and marquill.el
must byte-compile and pass checkdoc with no warning.

Usage: editors_test.py PACKAGE_DIR
"""
import json
import os
import pathlib
import re
import shlex
import subprocess
import sys
import tempfile
import time

from languages import check_languages

HERE = pathlib.Path(__file__).resolve().parent
MARKS = {"␣": " ", "→": "\t", "□": "\u3000"}
ENDS = {"¶": b"\r\n", "␍": b"\r", "∅": b""}
JAPANESE = {"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}
SEPARATORS = {"unix": b"\n", "dos": b"\r\n", "mac": b"\r"}
GNU_PLACE = re.compile(r"^marquill:-:(\d+):(\d+): (.*)$")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def marked(text):
    for mark, char in MARKS.items():
        text = text.replace(mark, char)
    return text


def document_line(line):
    end = b"\n"
    if line and line[-1] in ENDS:
        end, line = ENDS[line[-1]], line[:-1]
    data = b""
    for i, piece in enumerate(re.split(r"\\x([0-9A-Fa-f]{2})", line)):
        data += bytes([int(piece, 16)]) if i % 2 else marked(piece).encode("utf-8")
    return data + end


def parse(path):
    documents, cases, toggled, name, rows = {}, [], [], None, None
    for line in path.read_text(encoding="utf-8").split("\n"):
        if line.startswith("== document "):
            name = line.split()[2]
            documents[name] = b""
        elif line in ("== cases", "== toggled"):
            name, rows = None, line[3:]
        elif rows == "toggled" and line and not line.startswith("#"):
            toggled.append(tuple(line.split()))
        elif rows and line and not line.startswith("#"):
            doc, ff, first, last, outcome, rest = line.split(None, 5)
            place = None
            if outcome == "error" and re.match(r"\d+:\d+ ", rest):
                place, rest = rest.split(None, 1)
            arguments = marked(rest)
            cases.append({"name": doc, "ff": ff, "first": int(first), "last": int(last),
                          "ok": outcome == "ok", "place": place, "arguments": arguments,
                          "argv": shlex.split(arguments)})
        elif name:
            # Inside a document every line counts, blank or not.
            documents[name] += document_line(line)
    return documents, cases, toggled


def span(data, ff, first, last):
    """The bytes of lines first..last as an editor splits the file with ff."""
    sep = SEPARATORS[ff]
    parts = data.split(sep)
    lines = parts[:-1] if parts[-1] == b"" else parts
    start = sum(len(l) + len(sep) for l in lines[:first - 1])
    end = start + sum(len(l) + len(sep) for l in lines[first - 1:last])
    if last >= len(lines) and parts[-1] != b"":
        end -= len(sep)
    return start, end


# A CR that no LF follows is a character of its line in the editors' unix
# and dos buffers: the model hands it to the filter as a character the
# documents do not hold, as the plug-ins do.
CR_MARK = "\ue000".encode()


def run_in_lines(program, argv, data, env, ff):
    if ff == "mac":
        return run_filter(program, argv, data, env)
    status, out, errors = run_filter(program, argv, re.sub(rb"\r(?!\n)", CR_MARK, data), env)
    return status, out.replace(CR_MARK, b"\r"), errors


def run_filter(program, argv, data, env):
    p = subprocess.run([program] + argv, input=data, capture_output=True, env=env)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace").strip().split("\n")


def expected_message(case, errors):
    """What the plug-in must show first: the filter's first line, its place
    turned into the buffer's line and column."""
    m = GNU_PLACE.match(errors[0])
    if m and case["place"]:
        line, column = case["place"].split(":")
        return (f":{line}:{column}: {m.group(3)}", True)
    return (errors[0], False)


def message_ok(shown, want):
    text, suffix = want
    return shown.startswith("marquill: ") and shown.endswith(text) if suffix else shown == text


# Where Vim and Neovim look for packages, and the plug-in's own package there.
VIM_ROOTS = {"vim": "vim/vimfiles", "nvim": "nvim/site"}
VIM_PACKAGE = "pack/marquill-filter/start/vim-marquill"
VIM_PACKAGE_FILES = {"plugin/marquill.vim", "autoload/marquill.vim", "autoload/marquill/run.vim",
                     "autoload/marquill/bytes.vim", "autoload/marquill/complete.vim", "autoload/marquill/menu.vim",
                     "autoload/marquill/i18n.vim", "autoload/marquill/i18n/ja.vim", "autoload/marquill/symbol.vim",
                     "doc/marquill.txt", "doc/marquill.jax", "doc/tags", "doc/tags-ja"}


def check_vim_package(share, root):
    """The plug-in as a package of its own under root: its files and nothing
    else, none in the folders other packages share (the help tags of
    root/doc above all), and tags that name only the package's own help."""
    files = {str(f.relative_to(share / root)) for f in (share / root).rglob("*") if not f.is_dir()}
    want = {f"{VIM_PACKAGE}/{f}" for f in VIM_PACKAGE_FILES}
    check(files == want, f"/usr/share/{root}: the package has {sorted(files)}, wanted {sorted(want)}")
    shared = sorted(f for f in files if f.split("/")[0] in ("plugin", "autoload", "doc", "syntax", "ftplugin"))
    check(not shared, f"/usr/share/{root}: the package has files in the shared folders: {shared}")
    doc = share / root / VIM_PACKAGE / "doc"
    for tags, help_file in (("tags", "marquill.txt"), ("tags-ja", "marquill.jax")):
        if not (doc / tags).is_file():
            continue
        named = {line.split("\t")[1] for line in (doc / tags).read_text(encoding="utf-8").splitlines()
                 if line and not line.startswith("!_TAG_")}
        check(named == {help_file}, f"/usr/share/{root}/{VIM_PACKAGE}/doc/{tags} names {sorted(named)}")


# The toggle table: every document toggled twice over the whole buffer at
# each tab width, with the symbol of the buffer's comments ("#" in Vim's
# 'commentstring' and Emacs' comment-start).
TAB_WIDTHS = (2, 4, 8)
TOGGLE_SYMBOL = "# "
BLANKS = " \t\u3000"
# Where the symbol goes in the "column" document: at the column of least
# indentation as the tab width makes it, in both lines.
COLUMNS = {2: b"\t# foo\n  #       bar\n", 4: b"\t# foo\n    #     bar\n", 8: b"\t# foo\n        # bar\n"}


def keeps_blanks(original, toggled, symbol):
    """Every non-blank line is its original with symbol inserted within its
    indentation, and every blank line is as it was."""
    old_lines, new_lines = original.decode().split("\n"), toggled.decode().split("\n")
    if len(old_lines) != len(new_lines):
        return False
    for old, new in zip(old_lines, new_lines):
        if old.rstrip("\r").strip(BLANKS) == "":
            if new != old:
                return False
            continue
        indent = len(old) - len(old.lstrip(BLANKS))
        if not any(new == old[:k] + symbol + old[k:] for k in range(indent + 1)):
            return False
    return True


def plug_in_arguments(program, env, width):
    """What the plug-ins add to the arguments after the verb: --stdin-only,
    and the tab width for the verbs that take it, as the filter lists them."""
    p = subprocess.run([program, "entries", "--format=json"], capture_output=True,
                       env=dict(env, MARQUILL_SETTINGS=str(pathlib.Path(env["HOME"]) / "no-such-settings")))
    commands = json.loads(p.stdout)["commands"] if p.returncode == 0 else []
    def takes(option):
        return {c["verb"] for c in commands if any(o["name"] == option for o in c["options"])}
    tab, keep = takes("--tab-width"), takes("--keep-indentation")

    def plugged(argv):
        verb = argv[0] if argv and not argv[0].startswith("-") else None
        own = ["--stdin-only"] + (["--tab-width", str(width)] if verb in tab else [])
        return (argv[:1] + own + (["--keep-indentation"] if verb in keep else []) + argv[1:] if verb
                else own + argv)
    return plugged


def toggle_plan(documents, toggled, program, env, docs, work):
    """The toggle table's rows with the filter's first toggle, each checked
    against the model: blanks kept, and the "column" document's columns."""
    rows = []
    for name, ff in toggled:
        data = documents[name]
        for width in TAB_WIDTHS:
            label = f"toggle {name} {ff} tab width {width}"
            status, first, errors = run_filter(program, ["toggle", "--stdin-only", "--tab-width", str(width),
                                                         "-e", TOGGLE_SYMBOL], data, env)
            check(status == 0, f"{label}: the filter gave status {status} {errors}")
            check(keeps_blanks(data, first, TOGGLE_SYMBOL), f"{label}: the toggle changed a blank: {first!r}")
            if name == "column":
                check(first == COLUMNS[width], f"{label}: {first!r}, wanted {COLUMNS[width]!r}")
            rows.append({"document": str(docs / name), "ff": ff, "width": width, "label": label,
                         "out": str(work / f"toggle-{len(rows)}"), "first": first, "original": data})
    return rows


# Files of each language: the toggle takes the language's line comment
# (None: block comments only, so a message naming the setting and no
# change), or for text the settings' first entry ("> ").
FILE_TYPES = [
    ("main.c", "// ", "int main(void)\n{\n\tint x = 1;\n\n\treturn x;\n}\n"),
    ("main.cpp", "// ", "namespace n {\n  int f();\n}\n"),
    ("style.css", None, "body {\n\tcolor: red;\n}\n"),
    ("page.html", None, "<p>\n  text\n</p>\n"),
    ("query.sql", "-- ", "SELECT a\n  FROM t;\n"),
    ("tool.py", "# ", "def f():\n    return 1\n\nprint(f())\n"),
    ("run.sh", "# ", "#!/bin/sh\nif true; then\n\techo hi\nfi\n"),
    ("Makefile", "# ", "all: prog\nprog: main.o\n\t$(CC) -o $@ main.o \\\n\t  util.o\n\n.PHONY: all\n"),
    ("config.yaml", "# ", "a:\n  b: 1\n  c: [1, 2]\n"),
    ("init.lua", "-- ", "local x = 1\nif x then\n\tprint(x)\nend\n"),
    ("notes.md", "> ", "# Title\n\n  text\n"),
    ("mutt-host-1000-1-2", "> ", "Subject: hi\n\nHello,\n  there\n"),
    ("notes.txt", "> ", "plain\n\ttext\n"),
]


def file_type_plan(program, env, work):
    folder = work / "types"
    folder.mkdir()
    rows = []
    for name, symbol, text in FILE_TYPES:
        data = text.encode()
        (folder / name).write_bytes(data)
        first = data
        if symbol:
            first = run_filter(program, ["toggle", "--stdin-only", "--tab-width", "8", "-e", symbol], data, env)[1]
        rows.append({"file": str(folder / name), "out": str(work / f"type-{name}"), "symbol": symbol,
                     "original": data, "first": first})
    return rows


def check_file_types(editor, rows, setting):
    for row in rows:
        label = f"{editor} toggle of {pathlib.Path(row['file']).name}"
        got = [pathlib.Path(f"{row['out']}-{editor}-{n}") for n in (1, 2)]
        got = [f.read_bytes() if f.exists() else None for f in got]
        message = pathlib.Path(f"{row['out']}-{editor}-message")
        message = message.read_text(encoding="utf-8").strip() if message.exists() else None
        if row["symbol"]:
            check(got == [row["first"], row["original"]], f"{label}: wrote {got}, wanted {row['first']!r} then "
                                                            f"the original; said {message!r}")
        else:
            check(got == [row["original"]] * 2, f"{label}: block comments only, yet it wrote {got}")
            check(message is not None and setting in message, f"{label}: said {message!r}, not naming {setting}")


def check_toggles(editor, rows):
    for row in rows:
        for n, want in ((1, row["first"]), (2, row["original"])):
            out = pathlib.Path(f"{row['out']}-{editor}-{n}")
            got = out.read_bytes() if out.exists() else None
            check(got == want, f"{editor} {row['label']}: toggle {n} wrote {got!r}, wanted {want!r}")


EMACS_FILES = ("marquill.el", "marquill-run.el", "marquill-ja.el")


def check_emacs_package(root, work, env):
    """The start-up file that Debian's Emacs loads, the autoloads, and a
    clean byte-compile and checkdoc of marquill.el as installed."""
    site, start = root / "usr/share/emacs/site-lisp", root / "etc/emacs/site-start.d/50marquill.el"
    check(start.is_file(), "the package lacks /etc/emacs/site-start.d/50marquill.el")
    # A new Emacs with nothing but the start-up file: the command exists
    # before the library is loaded, and works.
    code = ("(progn (princ (list (featurep 'marquill) (commandp 'marquill) (commandp 'marquill-toggle)))"
            " (with-temp-buffer (insert \"a\\n\") (setq-local comment-start \"#\") (goto-char (point-min))"
            " (call-interactively 'marquill-toggle) (princ (buffer-string))))")
    p = subprocess.run(["emacs", "-Q", "--batch", "-L", str(site), "-l", str(start), "--eval", code],
                       env=env, capture_output=True, stdin=subprocess.DEVNULL)
    check(p.stdout.decode() == "(nil t t)# a\n", f"emacs -Q with the start-up file: {p.stdout!r} {p.stderr[-2000:]!r}")
    # Customizing before first use, and the keymap and menu before it too.
    code = ("(progn (princ (list (keymapp (lookup-key global-map [menu-bar tools marquill]))"
            " (keymapp marquill-command-map)))"
            " (customize-group 'marquill) (goto-char (point-min))"
            " (princ (and (search-forward \"Marquill Program\" nil t) (search-forward \"Toggle Entry\" nil t) t)))")
    p = subprocess.run(["emacs", "-Q", "--batch", "-L", str(site), "-l", str(start), "--eval", code],
                       env=env, capture_output=True, stdin=subprocess.DEVNULL)
    check(p.stdout.decode() == "(t t)t", f"emacs -Q: customize-group marquill: {p.stdout!r} {p.stderr[-2000:]!r}")
    compiled = work / "compile"
    compiled.mkdir()
    for name in EMACS_FILES:
        (compiled / name).write_bytes((site / name).read_bytes())
    code = ("(progn (setq byte-compile-error-on-warn t) (require 'checkdoc)"
            " (dolist (file '(\"marquill-ja.el\" \"marquill-run.el\" \"marquill.el\"))"
            "  (unless (byte-compile-file file) (kill-emacs 1))"
            "  (let ((checkdoc-autofix-flag 'never)) (checkdoc-file file))))")
    p = subprocess.run(["emacs", "-Q", "--batch", "-L", ".", "--eval", code], cwd=compiled, env=env,
                       capture_output=True, stdin=subprocess.DEVNULL)
    said = [line for line in (p.stdout + p.stderr).decode().splitlines() if line.strip() and
            not line.startswith(("Warning (emacs): ", "Loading "))]
    check(p.returncode == 0 and not said, f"emacs: byte-compile and checkdoc of marquill.el: {said}")
    # Debian's package-lint, marquill.el the package's main file.  Its list of
    # released Emacs versions may end before the one required.
    code = ("(progn (dolist (d (file-expand-wildcards \"/usr/share/emacs/site-lisp/elpa/*\"))"
            " (add-to-list 'load-path d)) (require 'package-lint) (setq package-lint-main-file \"marquill.el\")"
            " (dolist (f '(\"marquill.el\" \"marquill-run.el\" \"marquill-ja.el\")) (with-current-buffer (find-file-noselect f)"
            " (dolist (issue (package-lint-buffer)) (princ (format \"%s:%d: %s: %s\\n\" f (nth 0 issue)"
            " (nth 2 issue) (nth 3 issue)))))))")
    p = subprocess.run(["emacs", "-Q", "--batch", "--eval", code], cwd=compiled, env=env, capture_output=True,
                       stdin=subprocess.DEVNULL)
    said = [line for line in p.stdout.decode().splitlines()
            if line and not line.endswith("uninstallable in all released Emacs versions.")]
    check(p.returncode == 0 and not said, f"emacs: package-lint: {said} {p.stderr.decode()[-500:]}")



# Where the documentation names a toggle entry, and how.
DOCUMENTED_ENTRIES = re.compile(r"""marquill_toggle_entry = '([^']+)'|marquill-toggle-entry \\?"([^"\\]+)""")


def check_documented_entries(program, starter, env):
    """Every toggle entry that the README, the Vim help and marquill.el
    name in their examples is one of the shipped starter list."""
    root = HERE.parent.parent
    found = 0
    for doc in [root / "README.md", *sorted((root / "editors/vim/doc").glob("marquill.*")),
                root / "editors/emacs/marquill.el"]:
        for m in DOCUMENTED_ENTRIES.finditer(doc.read_text(encoding="utf-8")):
            entry, found = m.group(1) or m.group(2), found + 1
            status, out, errors = run_filter(program, ["insert", "--settings", str(starter), "--entry", entry], b"x",
                                             env)
            check(status == 0, f"{doc.name}: the example's entry {entry!r} is not in the starter list: {errors}")
    check(found >= 4, f"the documentation names {found} toggle entries in its examples, not 4")


def unpack(package, work):
    deb = next(package.glob("marquill_*.deb"))
    root = work / "root"
    subprocess.run(["dpkg", "-x", str(deb), str(root)], check=True)
    return root


def settings_bytes():
    """A settings file as the Windows plug-in keeps it: code page 932, CR LF."""
    entries = ["> \tメール引用(&M)\\t> ", "// \tC/C++ コメント(&C)", "# \tシェル(&S)",
               "%#|!'\"\\ \t記号(&K)", "not an entry"]
    return "".join(e + "\r\n" for e in entries).encode("cp932")


def main():
    package = pathlib.Path(sys.argv[1]).resolve()
    started = time.monotonic()
    documents, cases, toggled = parse(HERE / "documents.txt")
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        root = unpack(package, work)
        program = root / "usr/bin/marquill"
        share = root / "usr/share"
        for name in EMACS_FILES:
            check((share / "emacs/site-lisp" / name).is_file(), f"the package lacks /usr/share/emacs/site-lisp/{name}")
        for folder in VIM_ROOTS.values():
            check_vim_package(share, folder)

        config = work / "config"
        (config / "marquill").mkdir(parents=True)
        (config / "marquill/Marquill_Setting.txt").write_bytes(settings_bytes())
        (work / "settings.txt").write_bytes(settings_bytes())
        # A stand-in for the filter that fails with the message it is given.
        stub = work / "failing-marquill"
        # It describes itself as listing no verb.
        stub.write_text('#!/bin/sh\n[ "$1" = entries ] && echo \'{"commands": []}\' && exit 0\n'
                        'cat >/dev/null\nprintf \'%s\\n\' "$MARQUILL_STUB_MESSAGE" >&2\nexit 2\n')
        stub.chmod(0o755)
        docs = work / "docs"
        docs.mkdir()
        for name, data in documents.items():
            (docs / name).write_bytes(data)

        env = dict(os.environ, PATH=f"{root / 'usr/bin'}:{os.environ['PATH']}", HOME=str(work),
                   XDG_CONFIG_HOME=str(config), LANG="C.UTF-8", LC_ALL="C.UTF-8",
                   XDG_DATA_HOME=str(work / "data"),
                   MARQUILL_WORK=str(work), MARQUILL_SETTINGS_FILE=str(work / "settings.txt"),
                   MARQUILL_STUB=str(stub),
                   MARQUILL_STARTER=str(root / "usr/share/doc/marquill/examples/Marquill_Setting.txt"))
        for name in ("MARQUILL_SETTINGS", "VIM", "VIMRUNTIME", "XDG_DATA_DIRS"):
            env.pop(name, None)

        check_documented_entries(program, env["MARQUILL_STARTER"], env)

        # The expected outcome of each case, from the filter itself, with
        # what the plug-ins add at the editors' tab width of 8.
        plan = []
        plugged = plug_in_arguments(program, env, 8)
        for n, case in enumerate(cases):
            data = documents[case["name"]]
            start, end = span(data, case["ff"], case["first"], case["last"])
            status, out, errors = run_in_lines(program, plugged(case["argv"]), data[start:end], env, case["ff"])
            japanese = run_in_lines(program, plugged(case["argv"]), data[start:end], dict(env, **JAPANESE),
                                    case["ff"])[2]
            label = f"case {n + 1} ({case['name']} {case['ff']} {case['first']},{case['last']} {case['arguments']})"
            if not check((status == 0) == case["ok"], f"{label}: the filter gave status {status} {errors}"):
                continue
            case.update(label=label, document=str(docs / case["name"]), original=data,
                        expected=data[:start] + out + data[end:] if status == 0 else data,
                        message=None if status == 0 else expected_message(case, errors),
                        japanese=None if status == 0 else expected_message(case, japanese))
            plan.append(case)
        for n, case in enumerate(plan):
            case["after"], case["undone"] = str(work / f"{n}.after"), str(work / f"{n}.undone")
            case["expected_file"] = str(work / f"{n}.expected")
            pathlib.Path(case["expected_file"]).write_bytes(case["expected"])
        toggles = toggle_plan(documents, toggled, program, env, docs, work)
        types = file_type_plan(program, env, work)
        (work / "plan.json").write_text(json.dumps({"types": [
            {k: row[k] for k in ("file", "out")} for row in types], "toggles": [
            {k: row[k] for k in ("document", "ff", "width", "out")} for row in toggles], "cases": [
            {k: case[k] for k in ("document", "ff", "first", "last", "arguments", "argv", "after", "undone",
                                  "expected_file", "ok")} | {"expected": case["message"][0] if case["message"] else "",
                                            "suffix": bool(case["message"] and case["message"][1])}
            for case in plan]}, ensure_ascii=False), encoding="utf-8")
        env["MARQUILL_PLAN"] = str(work / "plan.json")
        base = env

        # Vim finds $VIM/vimfiles, Neovim the site folder under XDG_DATA_DIRS;
        # Neovim keeps its own runtime files. Both load the plug-in from its
        # package under pack/*/start, and keys.vim checks that the scripts and
        # the help come from there ($MARQUILL_VIM_PACKAGE). Vim runs under a
        # Japanese locale, where the filter's messages are Japanese.
        editors = {
            "vim": (["vim", "-N", "-u", "NORC", "-i", "NONE", "-es", "-S"],
                    dict(JAPANESE, VIM=str(share / "vim"), VIMRUNTIME="/usr/share/vim/vim90")),
            "nvim": (["nvim", "--clean", "--headless", "-S"], {"XDG_DATA_DIRS": str(share)}),
        }
        for editor, (_, own) in editors.items():
            own["MARQUILL_VIM_PACKAGE"] = str(share / VIM_ROOTS[editor] / VIM_PACKAGE)
        timings = {}
        for editor, (command, own) in editors.items():
            t = time.monotonic()
            env = dict(base, **own)
            results = work / f"{editor}.json"
            env["MARQUILL_RESULTS"] = str(results)
            p = subprocess.run(command + [str(HERE / "cases.vim")], env=env, capture_output=True, timeout=120,
                               stdin=subprocess.DEVNULL)
            if not check(results.exists(), f"{editor}: no results: {p.stdout[-2000:]!r} {p.stderr[-2000:]!r}"):
                continue
            shown = json.loads(results.read_text(encoding="utf-8"))
            # Every planned case ran and the editor ended as planned.
            check(len(shown) == len(plan), f"{editor}: {len(shown)} results for {len(plan)} cases: "
                  f"{p.stdout[-2000:]!r} {p.stderr[-2000:]!r}")
            check(p.returncode == 0, f"{editor} cases.vim: exit status {p.returncode}: {p.stderr[-2000:]!r}")
            check_toggles(editor, toggles)
            check_file_types(editor, types, "marquill_toggle_entry")
            for case, result in zip(plan, shown):
                after = pathlib.Path(case["after"]).read_bytes()
                undone = pathlib.Path(case["undone"]).read_bytes()
                check(after == case["expected"],
                      f"{editor} {case['label']}: wrote {after!r}, the filter gives {case['expected']!r}")
                check(undone == case["original"], f"{editor} {case['label']}: one undo gave {undone!r}")
                want = case["japanese"] if editor == "vim" else case["message"]
                if want:
                    check(message_ok(result["message"], want),
                          f"{editor} {case['label']}: showed {result['message']!r}, wanted {want}")
                else:
                    check(result["message"] == "", f"{editor} {case['label']}: showed {result['message']!r}")
            # The keys, the menu, the toggle and the settings.
            errors = work / f"{editor}-errors.txt"
            env["MARQUILL_RESULTS"] = str(errors)
            p = subprocess.run(command + [str(HERE / "keys.vim")], env=env, capture_output=True, timeout=120,
                               stdin=subprocess.DEVNULL)
            check(p.returncode == 0, f"{editor} keys.vim: exit status {p.returncode}: {p.stderr[-2000:]!r}")
            if check(errors.exists(), f"{editor} keys.vim: no results: {p.stdout[-2000:]!r} {p.stderr[-2000:]!r}"):
                for line in errors.read_text(encoding="utf-8", errors="replace").splitlines():
                    check(False, f"{editor} keys.vim: {line}")
            timings[editor] = time.monotonic() - t

        # Each editor's texts in the user's language.
        t = time.monotonic()
        # A caption ends at its access key, or where its written \t begins a comment.
        captions = [re.sub(r"\(&.\)", "", line.split("\t")[1].split("\\t")[0])
                    for line in settings_bytes().decode("cp932").splitlines() if "\t" in line]
        check_languages(editors, share / "emacs/site-lisp", base, work, captions, check)
        timings["languages"] = time.monotonic() - t

        t = time.monotonic()
        p = subprocess.run(["emacs", "-Q", "--batch", "-L", str(share / "emacs/site-lisp"),
                            "-l", str(HERE / "marquill-tests.el"), "-f", "ert-run-tests-batch-and-exit"],
                           env=dict(base, LANG="C", LC_ALL="C"), capture_output=True, timeout=120,
                           stdin=subprocess.DEVNULL)
        output = (p.stdout + p.stderr).decode("utf-8", "replace")
        check(p.returncode == 0, "emacs: ERT failed:\n" + output[-30000:])
        check_toggles("emacs", toggles)
        check_file_types("emacs", types, "marquill-toggle-entry")
        check_emacs_package(root, work, dict(base, LANG="C", LC_ALL="C"))
        for line in output.splitlines():
            if "SKIPPED" in line or line.lstrip().startswith("skipped"):
                print("emacs:", line.strip())
        timings["emacs"] = time.monotonic() - t

    for f in failures:
        print("FAILED:", f)
    figures = ", ".join(f"{k} {v:.1f} s" for k, v in timings.items())
    print(f"editors: {len(plan)} cases; {'ok' if not failures else 'FAILED'}; {figures}; "
          f"total {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

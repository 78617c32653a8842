#!/usr/bin/env python3
"""po/surfaces.py over a small tree of plug-in sources and a catalogue: the
tables it generates give, in Vim, Emacs and as JSON, exactly the live
translations that name each surface; its check fails on a wrapped text with
no, a fuzzy, an obsolete or another surface's translation, and on a
translation whose text the surface no longer wraps.
Usage: surfaces_test.py SOURCE-DIR"""
import importlib.util
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

SOURCES = {
    "editors/vim/autoload/marquill/run.vim":
        "echoerr marquill#i18n#text('the buffer cannot be changed (''modifiable'' is off)')\n"
        "echoerr printf(marquill#i18n#text('program not found: %s'), x)\n",
    "editors/emacs/marquill.el": '(completing-read (marquill--text "Insert: ") x)\n'
                                 '(format (marquill--text "say \\"%s\\"") x)\n'
                                 "(dolist (item '((\"t\" \"Toggle\" marquill-toggle))))\n",
    "editors/vscode/src/extension.ts": "vscode.l10n.t('Marquill: {0} failed', x); vscode.l10n.t(\"It's 'here'\");\n"
                                       "vscode.l10n.t('Marquill: {0} failed', y);\n",
    "editors/vscode/package.json": '{"title": "%command.menu%", "description": "%config.entry%"}\n',
    "editors/vscode/package.nls.json": '{"command.menu": "Marquill: Menu", "config.entry": "The entry"}\n',
}
# msgid, msgstr, the "#:" reference
ENTRIES = [
    ("the buffer cannot be changed ('modifiable' is off)", "バッファーを変更できません（'modifiable' がオフです）",
     "editors/vim/autoload/marquill/run.vim:1"),
    ("program not found: %s", "プログラムが見つかりません: %s", "editors/vim/autoload/marquill/run.vim:2"),
    ("Insert: ", "挿入: ", "editors/emacs/marquill.el:1"),
    ('say "%s"', "「%s」と言う", "editors/emacs/marquill.el:2"),
    ("Toggle", "切り替え", "editors/emacs/marquill.el:3"),
    ("Marquill: {0} failed", "Marquill: {0} に失敗しました", "editors/vscode/src/extension.ts:1"),
    ("It's 'here'", "ここです", "editors/vscode/src/extension.ts:1"),
    ("Marquill: Menu", "Marquill: メニュー", "editors/vscode/package.nls.json"),
    ("The entry", "エントリ", "editors/vscode/package.nls.json"),
]
# A translation for the filter only: in no table.
FILTER_ONLY = ("out of memory", "メモリが足りません", "cli/main.cpp:60")


def po_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


def po_text(entries, fuzzy=(), obsolete=()):
    out = 'msgid ""\nmsgstr "Content-Type: text/plain; charset=UTF-8\\n"\n'
    for msgid, msgstr, ref in entries:
        if msgid in obsolete:
            out += f"\n#~ msgid {po_string(msgid)}\n#~ msgstr {po_string(msgstr)}\n"
            continue
        out += f"\n#: {ref}\n" + ("#, fuzzy\n" if msgid in fuzzy else "")
        out += f"msgid {po_string(msgid)}\nmsgstr {po_string(msgstr)}\n"
    return out


def main():
    root = pathlib.Path(sys.argv[1])
    module_spec = importlib.util.spec_from_file_location("surfaces", root / "po/surfaces.py")
    surfaces = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(surfaces)
    faults = []
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        for name, text in SOURCES.items():
            (work / name).parent.mkdir(parents=True, exist_ok=True)
            (work / name).write_text(text, encoding="utf-8")
        po = work / "ja.po"
        po.write_text(po_text(ENTRIES + [FILTER_ONLY]), encoding="utf-8")
        if subprocess.run(["msgfmt", "--check-format", "-o", "/dev/null", str(po)]).returncode != 0:
            faults.append("the test's catalogue is no valid PO file")
        found = surfaces.check(str(po), str(work))
        if found:
            faults.append(f"a complete catalogue fails the check: {found}")
        # Each fault of the catalogue is named.
        for msgid, _, _ in ENTRIES:
            for what, text in [("missing", po_text([e for e in ENTRIES if e[0] != msgid])),
                               ("fuzzy", po_text(ENTRIES, fuzzy=[msgid])),
                               ("obsolete", po_text(ENTRIES, obsolete=[msgid])),
                               ("another surface's", po_text([(m, s, "cli/x.cpp:1" if m == msgid else r)
                                                              for m, s, r in ENTRIES])),
                               # the English changed in the sources: the old entry stays behind
                               ("stale", po_text(ENTRIES + [(msgid + " (old)", s, r) for m, s, r in ENTRIES
                                                            if m == msgid]))]:
                po.write_text(text, encoding="utf-8")
                found = surfaces.check(str(po), str(work))
                named = msgid + " (old)" if what == "stale" else msgid
                if len(found) != 1 or repr(named) not in found[0]:
                    faults.append(f"{what} translation of {msgid!r}: the check says {found}")
        po.write_text(po_text(ENTRIES + [FILTER_ONLY]), encoding="utf-8")
        out = work / "out"
        surfaces.generate(str(po), str(work / "editors/vscode/package.nls.json"), str(out))
        want = {surface: {m: s for m, s, r in ENTRIES if r.startswith(prefixes)}
                for surface, prefixes in surfaces.SURFACES.items()}
        got = json.loads((out / "vscode/l10n/bundle.l10n.ja.json").read_text(encoding="utf-8"))
        if got != want["vscode"]:
            faults.append(f"bundle.l10n.ja.json: {got}")
        got = json.loads((out / "vscode/package.nls.ja.json").read_text(encoding="utf-8"))
        if got != {"command.menu": "Marquill: メニュー", "config.entry": "エントリ"}:
            faults.append(f"package.nls.ja.json: {got}")
        if shutil.which("vim"):
            result = work / "vim.json"
            subprocess.run(["vim", "-N", "-u", "NONE", "-i", "NONE", "-es", "--cmd",
                            f"set rtp^={out / 'vim'}", "-c",
                            f"call writefile([json_encode(marquill#i18n#ja#table())], '{result}')", "-c", "qall!"],
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
            got = json.loads(result.read_text(encoding="utf-8")) if result.exists() else None
            if got != want["vim"]:
                faults.append(f"the Vim table: {got}")
        if shutil.which("emacs"):
            result = work / "emacs.json"
            code = (f"(progn (load \"{out / 'emacs/marquill-ja.el'}\") (require 'json)"
                    f" (let ((coding-system-for-write 'utf-8)) (with-temp-file \"{result}\""
                    " (insert (json-encode marquill-ja-texts)))))")
            r = subprocess.run(["emacs", "-Q", "--batch", "--eval", code], capture_output=True, timeout=60,
                               env=dict(os.environ, LANG="C", LC_ALL="C"))
            got = json.loads(result.read_text(encoding="utf-8")) if result.exists() else r.stderr
            if got != want["emacs"]:
                faults.append(f"the Emacs table: {got}")
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

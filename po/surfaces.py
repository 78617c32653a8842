#!/usr/bin/env python3
"""The editor plug-ins' Japanese, generated from po/ja.po: the entries whose
"#:" references name a surface go into that surface's table.

  surfaces.py generate PO VSCODE-PACKAGE-NLS OUT-DIR
      writes OUT-DIR/vim/autoload/marquill/i18n/ja.vim (the table
      marquill#i18n#text looks in), OUT-DIR/emacs/marquill-ja.el (the one
      marquill--text looks in), OUT-DIR/vscode/package.nls.ja.json (the
      manifest's keys of package.nls.json whose English the catalogue
      translates) and OUT-DIR/vscode/l10n/bundle.l10n.ja.json.
  surfaces.py check PO SOURCE-DIR
      fails when a text the plug-ins pass to their lookup has no translation
      in the catalogue, only a fuzzy or obsolete one, or one whose "#:"
      references do not name that surface; and when a translation names a
      surface whose sources no longer wrap its text (stale).
"""
import json
import pathlib
import re
import sys

# Each surface: the reference prefixes that name it, and where its sources
# wrap their texts.
SURFACES = {
    "vim": ("editors/vim/",),
    "emacs": ("editors/emacs/",),
    "vscode-manifest": ("editors/vscode/package.json", "editors/vscode/package.nls.json"),
    "vscode": ("editors/vscode/src/",),
}
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "r": "\r"}


def unquote(text):
    """The value of a PO string's quoted part."""
    body = text[text.index('"') + 1:text.rindex('"')]
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), body)


def read_po(path):
    """The entries of a PO file: dicts of msgid, msgstr, refs, fuzzy and
    obsolete (a "#~" entry)."""
    entries, entry, field = [], None, None

    def start():
        return {"msgid": "", "msgstr": "", "refs": [], "fuzzy": False, "obsolete": False, "context": None}

    def finish():
        if entry is not None and (entry["msgid"] or entry["msgstr"]):
            entries.append(entry)

    for raw in pathlib.Path(path).read_text(encoding="utf-8").splitlines() + [""]:
        obsolete = raw.startswith("#~")
        line = raw[2:].strip() if obsolete else raw.strip()
        if not line:
            finish()
            entry, field = None, None
            continue
        if entry is None:
            entry = start()
        if line.startswith("#:") and not obsolete:
            entry["refs"] += [r.rsplit(":", 1)[0] if r.rsplit(":", 1)[-1].isdigit() else r for r in line[2:].split()]
        elif line.startswith("#,") and not obsolete:
            entry["fuzzy"] = entry["fuzzy"] or "fuzzy" in line
        elif line.startswith("#"):
            continue
        else:
            entry["obsolete"] = entry["obsolete"] or obsolete
            m = re.match(r"(msgctxt|msgid|msgstr)\s", line)
            if m:
                field = {"msgctxt": "context"}.get(m.group(1), m.group(1))
                entry[field] = unquote(line)
            elif line.startswith('"') and field:
                entry[field] += unquote(line)
    return [e for e in entries if e["msgid"]]


def translations(entries, surface):
    """msgid to msgstr of the live, translated entries that name surface."""
    prefixes = SURFACES[surface]
    return {e["msgid"]: e["msgstr"] for e in entries
            if e["msgstr"] and not e["fuzzy"] and not e["obsolete"] and e["context"] is None
            and any(r.startswith(prefixes) for r in e["refs"])}


def vim_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n").replace("\t", "\\t") + '"'


def elisp_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def generate(po, package_nls, out):
    entries = read_po(po)
    out = pathlib.Path(out)
    files = {}
    vim = translations(entries, "vim")
    files["vim/autoload/marquill/i18n/ja.vim"] = (
        "\" The plug-in's Japanese texts, generated from po/ja.po: do not edit.\n"
        "let s:table = {\n" + "".join(f"      \\ {vim_string(k)}: {vim_string(v)},\n" for k, v in sorted(vim.items()))
        + "      \\ }\n\nfunction! marquill#i18n#ja#table() abort\n  return s:table\nendfunction\n")
    emacs = translations(entries, "emacs")
    files["emacs/marquill-ja.el"] = (
        ";;; marquill-ja.el --- Japanese texts of marquill.el  -*- lexical-binding: t; coding: utf-8 -*-\n\n"
        ";; Copyright (c) the Marquill authors\n\n;; This file is part of marquill.el.\n\n;;; Commentary:\n\n"
        ";; Generated from po/ja.po: do not edit.\n\n;;; Code:\n\n"
        "(defconst marquill-ja-texts\n  '(" + "\n    ".join(f"({elisp_string(k)} . {elisp_string(v)})"
                                                   for k, v in sorted(emacs.items()))
        + ")\n  \"The Japanese of each English text of marquill.el.\")\n\n(provide 'marquill-ja)\n;;; marquill-ja.el ends here\n")
    manifest = translations(entries, "vscode-manifest")
    nls = pathlib.Path(package_nls) if package_nls else None
    english = json.loads(nls.read_text(encoding="utf-8")) if nls and nls.exists() else {}
    files["vscode/package.nls.ja.json"] = json.dumps(
        {key: manifest[text] for key, text in english.items() if text in manifest},
        ensure_ascii=False, indent=2) + "\n"
    files["vscode/l10n/bundle.l10n.ja.json"] = json.dumps(
        dict(sorted(translations(entries, "vscode").items())), ensure_ascii=False, indent=2) + "\n"
    for name, text in files.items():
        path = out / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if not path.exists() or path.read_text(encoding="utf-8") != text:
            path.write_text(text, encoding="utf-8")


# The texts each surface's sources pass to its lookup.
WRAPPED = {
    "vim": ("editors/vim", "*.vim", r"marquill#i18n#text\(\s*'((?:[^']|'')*)'"),
    # Emacs also translates the titles of its menu's items, (KEY TITLE COMMAND).
    "emacs": ("editors/emacs", "*.el", r"\(marquill--text\s+\"((?:[^\"\\]|\\.)*)\""
              r"|\(\"\w\" \"((?:[^\"\\]|\\.)*)\" marquill[-\w]*\)"),
    "vscode": ("editors/vscode/src", "*.ts", r"l10n\.t\(\s*(?:'((?:[^'\\]|\\.)*)'|\"((?:[^\"\\]|\\.)*)\")"),
}


def wrapped_texts(root):
    """(surface, file, text) for every text the sources wrap, and the
    manifest's English texts that package.json names by %key%."""
    root = pathlib.Path(root)
    for surface, (folder, pattern, regex) in WRAPPED.items():
        for path in sorted((root / folder).rglob(pattern)):
            if "node_modules" in path.parts:
                continue
            for m in re.finditer(regex, path.read_text(encoding="utf-8")):
                text = next(g for g in m.groups() if g is not None)
                if surface == "vim":
                    text = text.replace("''", "'")
                else:
                    text = re.sub(r"\\(.)", lambda e: ESCAPES.get(e.group(1), e.group(1)), text)
                yield surface, path.relative_to(root), text
    nls = root / "editors/vscode/package.nls.json"
    manifest = root / "editors/vscode/package.json"
    if nls.exists() and manifest.exists():
        english = json.loads(nls.read_text(encoding="utf-8"))
        for key in re.findall(r'"%([^%"]+)%"', manifest.read_text(encoding="utf-8")):
            if key in english:
                yield "vscode-manifest", nls.relative_to(root), english[key]


def check(po, root):
    entries = read_po(po)
    by_id = {}
    for e in entries:
        by_id.setdefault(e["msgid"], []).append(e)
    faults = []
    wrapped = set()
    for surface, path, text in wrapped_texts(root):
        if (surface, text) in wrapped:
            continue
        wrapped.add((surface, text))
        found = [e for e in by_id.get(text, []) if e["context"] is None]
        live = [e for e in found if not e["obsolete"]]
        if not found or not any(e["msgstr"] for e in found):
            faults.append(f"{path}: no translation of {text!r}")
        elif not live:
            faults.append(f"{path}: only an obsolete translation of {text!r}")
        elif any(e["fuzzy"] for e in live):
            faults.append(f"{path}: a fuzzy translation of {text!r}")
        elif text not in translations(entries, surface):
            faults.append(f"{path}: the translation of {text!r} names no file of {surface} in its #: references")
    # A translation that names a surface whose sources no longer wrap its text
    # is stale: the English it translates has changed or gone.
    for e in entries:
        if e["obsolete"] or e["context"] is not None:
            continue
        for surface, prefixes in SURFACES.items():
            if any(r.startswith(prefixes) for r in e["refs"]) and (surface, e["msgid"]) not in wrapped:
                faults.append(f"{prefixes[-1]}: a stale translation of {e['msgid']!r}: no file of {surface} wraps it")
    return faults


def main(argv):
    if len(argv) == 5 and argv[1] == "generate":
        generate(argv[2], argv[3] if argv[3] != "-" else None, argv[4])
        return 0
    if len(argv) == 4 and argv[1] == "check":
        faults = check(argv[2], argv[3])
        for f in faults:
            print(f, file=sys.stderr)
        return 1 if faults else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

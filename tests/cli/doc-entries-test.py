#!/usr/bin/env python3
"""Every entry the documentation names in an example (--entry, the Vim and
Emacs toggle entries, VS Code's marquill.toggleEntry) picks an entry of the
shipped starter list, so that the examples run as shown.
Usage: doc-entries-test.py MARQUILL SOURCE-DIR"""
import pathlib
import re
import subprocess
import sys

DOCUMENTS = ["cli/marquill.1", "cli/marquill.ja.1", "docs/guide-en.md", "docs/guide-ja.md", "editors/vim/doc/*.txt",
             "editors/vim/doc/*.jax", "editors/emacs/*.el", "editors/vscode/README.md"]
PATTERNS = [r"--entry[ =](?:'([^']*)'|\"([^\"]*)\"|([^\s`'\"]+))", r"toggle_entry = '([^']*)'",
            r"toggle-entry \\\"([^\\\"]*)\\\"", r"\"marquill\.toggleEntry\": \"([^\"]*)\""]
# Placeholders in synopses and option lists, not examples.
PLACEHOLDER = re.compile(r"^(N\|?CAPTION|N|CAPTION|\\f.*|<.*|\{.*)$|[|]")


def named_entries(root):
    for pattern in DOCUMENTS:
        for path in sorted(root.glob(pattern)):
            text = path.read_text(encoding="utf-8").replace("\\-", "-").replace("\\(aq", "'")
            for regex in PATTERNS:
                for match in re.finditer(regex, text):
                    entry = next(g for g in match.groups() if g is not None)
                    if not PLACEHOLDER.search(entry):
                        yield path.relative_to(root), entry


def main():
    marquill, root = sys.argv[1], pathlib.Path(sys.argv[2])
    starter = root / "package/sample-settings.txt"
    found, faults = 0, []
    for path, entry in named_entries(root):
        found += 1
        r = subprocess.run([marquill, "insert", "--settings", str(starter), "--entry", entry], input=b"a\n",
                           capture_output=True, env={"LC_ALL": "C.UTF-8"})
        if r.returncode != 0:
            faults.append(f"{path}: entry {entry!r}: {r.stderr.decode('utf-8', 'replace').strip()}")
    if found < 5:
        faults.append(f"only {found} entries found in the examples")
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

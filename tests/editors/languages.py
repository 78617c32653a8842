"""The language of what the plug-ins show: languages.vim and languages.el
run a table of situations (the menu and its pickers, the prompts, the
messages of the common failures) in Vim, Neovim and Emacs under each
language of LANGUAGES.  Under Japanese no text holds an English sentence;
under English none holds Japanese outside the user's own captions.  Every
situation shows something."""
import json
import pathlib
import re
import subprocess

HERE = pathlib.Path(__file__).resolve().parent
JA = {"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}
# Label, the language the plug-ins must speak, the environment, and what
# makes the editor's own language Japanese where its locale does not.
LANGUAGES = [
    ("ja_JP.UTF-8", "ja", JA, None),
    ("C", "en", {"LANG": "C", "LC_ALL": "C"}, None),
    ("C.UTF-8", "en", {"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}, None),
    ("LANGUAGE=ja under ja_JP", "ja", dict(JA, LANGUAGE="ja"), None),
    ("Japanese chosen under C", "ja", {"LANG": "C", "LC_ALL": "C"},
     {"vim": ["--cmd", "set encoding=utf-8", "--cmd", "language messages ja_JP.UTF-8"],
      "emacs": ["--eval", "(set-language-environment \"Japanese\")"]}),
]
# Three English words in a row make a sentence; names, paths and options
# do not.
ENGLISH = re.compile(r"\b[A-Za-z]{2,}(?:,? [a-z]{2,}){2,}\b")
JAPANESE = re.compile(r"[\u3000-\u30ff\u4e00-\u9fff\uff00-\uffef]")


def wrong(language, text, captions):
    """What in text is not in language, or None."""
    if language == "ja":
        m = ENGLISH.search(text)
        return m.group(0) if m else None
    for caption in captions:
        text = text.replace(caption, "")
    m = JAPANESE.search(text)
    return text[max(0, m.start() - 20):m.end() + 20] if m else None


def check_languages(editors, site, base, work, captions, check):
    """editors: name -> (command before the script, own environment)."""
    runs = [(name, command, own, "languages.vim") for name, (command, own) in editors.items()]
    runs.append(("emacs", ["emacs", "-Q", "--batch", "-L", str(site), "-l"], {}, "languages.el"))
    for n, (label, language, locale, chosen) in enumerate(LANGUAGES):
        for editor, command, own, script in runs:
            results = work / f"languages-{editor}-{n}.json"
            env = dict(base, **own)
            env.pop("LANGUAGE", None)
            env.update(locale, MARQUILL_RESULTS=str(results),
                       MARQUILL_MISSING=str(work / f"missing-{editor}-{n}/Marquill_Setting.txt"))
            extra = (chosen or {}).get("emacs" if editor == "emacs" else "vim", [])
            # Options go before the script's -S or -l.
            argv = command[:-1] + extra + command[-1:] + [str(HERE / script)]
            p = subprocess.run(argv, env=env, capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
            what = f"{editor} under {label}"
            if not check(results.exists(), f"{what}: no results: {p.stdout[-1000:]!r} {p.stderr[-1000:]!r}"):
                continue
            shown = json.loads(results.read_text(encoding="utf-8"))
            for situation, text in shown.items():
                check(text.strip() != "", f"{what}, {situation}: nothing shown")
                found = wrong(language, text, captions)
                check(found is None, f"{what}, {situation}: {found!r} in {text!r}")
                if language == "ja":
                    check(JAPANESE.search(text), f"{what}, {situation}: no Japanese in {text!r}")

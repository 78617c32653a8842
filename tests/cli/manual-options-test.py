"""The manual pages against the filter's option table: each page describes
every verb and every option the filter lists (entries --format=json), with
its short name, whether it takes a value and the values it takes, and no
other.

Usage: manual-options-test.py MARQUILL PAGE..."""
import json
import re
import subprocess
import sys

COMMANDS = {"COMMANDS", "コマンド"}
OPTIONS = {"OPTIONS", "オプション"}


def table(program):
    """{"verbs": set, "options": {long: (short, argument, values)}} as the filter lists them."""
    out = subprocess.run([program, "entries", "--format=json", "--settings", "/dev/null"],
                         check=True, capture_output=True).stdout
    verbs, options = set(), {}
    for command in json.loads(out)["commands"]:
        verbs.add(command["verb"])
        for o in command["options"]:
            options[o["name"]] = (o.get("short"), o.get("argument", "none"), tuple(o.get("values", ())))
    return {"verbs": verbs, "options": options}


def plain(line):
    """A troff line as text: no macro, no font changes, no quotes, plain dashes."""
    line = re.sub(r"^\.[A-Z]+\s*", "", line)
    line = re.sub(r"\\f[BIRP]", "", line)
    return line.replace("\\-", "-").replace("\\~", " ").replace('"', "")


def option_of_tag(tag):
    """(long, (short, argument, values)) of an option's .TP tag, as plain text."""
    found = re.search(r"--([a-z][a-z-]*)", tag)
    if not found:
        return None
    short = re.search(r"(?<![\w-])-([a-zA-Z])\b", tag[:found.start()])
    rest = tag[found.end():].replace(" ", "")
    argument = "optional" if rest.startswith("[=") else "required" if rest else "none"
    choices = re.fullmatch(r"=?([a-z0-9-]+(\|[a-z0-9-]+)+)", rest)
    values = tuple(choices.group(1).split("|")) if choices else ()
    return "--" + found.group(1), ("-" + short.group(1) if short else None, argument, values)


def page(path):
    """The verbs and options a page gives a .TP paragraph each, in the same form as table()."""
    verbs, options, section = set(), {}, None
    lines = open(path, encoding="utf-8").read().split("\n")
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            section = plain(line).strip()
        elif line.startswith(".TP") and i + 1 < len(lines):
            tag = plain(lines[i + 1]).strip()
            if section in COMMANDS:
                verbs.add(tag)
            elif section in OPTIONS and option_of_tag(tag):
                name, form = option_of_tag(tag)
                if name in options:
                    options[name + " (twice)"] = form
                options[name] = form
    return {"verbs": verbs, "options": options}


def compare(name, listed, shown, failures):
    if not listed or not shown:
        failures.append(f"{name}: nothing found (listed {len(listed)}, shown {len(shown)})")
    for key in sorted(set(listed) | set(shown)):
        if key not in shown:
            failures.append(f"{name}: {key} is missing")
        elif key not in listed:
            failures.append(f"{name}: {key} is not the filter's")
        elif isinstance(listed, dict) and listed[key] != shown[key]:
            failures.append(f"{name}: {key} is shown as {shown[key]}, the filter has {listed[key]}")


def main():
    program, pages = sys.argv[1], sys.argv[2:]
    listed = table(program)
    failures = []
    for path in pages:
        shown = page(path)
        compare(f"{path} verbs", listed["verbs"], shown["verbs"], failures)
        compare(f"{path} options", listed["options"], shown["options"], failures)
    for f in failures:
        print(f, file=sys.stderr)
    sys.exit(1 if failures else 0)


main()

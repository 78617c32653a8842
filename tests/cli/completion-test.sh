#!/bin/bash
# The bash completion of marquill in a non-interactive bash that loads
# bash-completion: each line of the table is completed as bash would and
# COMPREPLY compared with the candidates expected; then every verb and
# option that `marquill entries --format=json` lists is completed where it
# goes, and compared with that listing.
# Usage: completion-test.sh MARQUILL COMPLETION_FILE PYTHON3
set -u
bin=$(cd "$(dirname "$1")" && pwd)
python=$3
export PATH="$bin:$PATH"
source /usr/share/bash-completion/bash_completion || exit 1
source "$2" || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/marquill-completion-XXXXXX")
trap 'rm -rf "$work"' EXIT

printf '> \t\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB\xE5\xBC\x95\xE7\x94\xA8(&M)\\t>\r\n# \tS&cript && shell\r\n' >"$work/default.txt"
printf 'A \tAnother (&A)\nB \tSame(&B)\nC \tSame(&C)\n' >"$work/other.txt"
: >"$work/notes.txt"
: >"$work/nothing-else"
export MARQUILL_SETTINGS=$work/default.txt
cd "$work" || exit 1

# The candidates for the line as typed up to its end, sorted, one space
# after each. Words are cut at blanks and around '=', as bash cuts them.
candidates() {
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"${line//=/ = }"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _marquill marquill "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' '
}

failed=0
check() {
    local got
    got=$(candidates "$1")
    if [[ $got != "$2" ]]; then
        printf 'completion of [%s]\n  want [%s]\n  got  [%s]\n' "$1" "$2" "$got" >&2
        failed=1
    fi
}

check 'marquill ' 'delete delete-all delete-once entries insert toggle '
check 'marquill to' 'toggle '
check 'marquill -' '--help --version '
check 'marquill insert --at ' 'char head '
check 'marquill toggle --lines=' 'after-blank all least nonblank '
check 'marquill toggle --lines n' 'nonblank '
check 'marquill entries --settings-encoding c' 'cp932 '
check 'marquill delete --' '--entry --help --in-place --settings --settings-encoding --stdin-only --symbol '
check 'marquill entries --' '--format --help --null --settings --settings-encoding --stdin-only '
check 'marquill insert --k' '--keep-indentation '
check 'marquill toggle --tab-width ' ''
check 'marquill entries --format ' 'json text '
check 'marquill toggle --stdin-only -e x ' ''
check 'marquill insert -e x ' 'default.txt notes.txt nothing-else other.txt '
# Captions of the settings file in effect, as the menu shows them.
check 'marquill insert --entry ' 'Script\ \&\ shell メール引用 '
check 'marquill toggle --entry メ' 'メール引用 '
# Two captions that read the same are offered by their numbers.
check "marquill toggle --settings $work/other.txt --entry " '2 3 Another '
check "marquill toggle --settings=$work/other.txt --entry A" 'Another '
# Captions with an access key in the middle, a blank before the tab part,
# && and quotes, digits only, and twice the same: each offered text is one
# that --entry takes.
printf '%% \tTeX (&T) \\tCtrl+T\nM \tMi(&d)dle\nN \t12\nD \tDup\nE \tDup\nQ \tS&cript && "q"\n' >"$work/captions.txt"
check "marquill insert -s $work/captions.txt --entry " '3 4 5 Mi\(d\)dle Script\ \&\ \"q\" TeX '
candidates "marquill insert -s $work/captions.txt --entry " >/dev/null
for offered in "${COMPREPLY[@]}"; do
    eval "offered=$offered"
    marquill insert -s "$work/captions.txt" --entry "$offered" </dev/null >/dev/null ||
        { echo "--entry refuses the offered [$offered]" >&2; failed=1; }
done
# Files.
check "marquill toggle -e x $work/no" "$work/notes.txt $work/nothing-else "
check "marquill insert --settings $work/def" "$work/default.txt "
check 'marquill entries ' ''

# The words given, sorted as candidates() gives them.
sorted_words() {
    (($#)) && printf '%s\n' "$@" | LC_ALL=C sort | tr '\n' ' '
}

# Every name of every option, for every verb, one line each, as the filter
# lists them: VERB FILES TAKEN NAME ARGUMENT [VALUE]... (TAKEN: 1 when VERB
# takes the option; ARGUMENT: required, optional or none).
vocabulary() {
    marquill entries --format=json --settings /dev/null </dev/null | "$python" -c '
import json, sys
commands = json.load(sys.stdin)["commands"]
options = {o["name"]: o for c in commands for o in c["options"]}
for c in commands:
    taken = {o["name"] for o in c["options"]}
    for name, o in options.items():
        for form in [name] + ([o["short"]] if "short" in o else []):
            print(c["verb"], str(c["files"]).lower(), int(name in taken), form,
                  o.get("argument", "none"), *o.get("values", []))
'
}

all_files=$(sorted_words *)
entries_offered='Script\ \&\ shell メール引用 '
mapfile -t rows < <(vocabulary)
((${#rows[@]} > 0)) || { echo "no verbs or options listed" >&2; failed=1; }
declare -A verb_options=()
for row in "${rows[@]}"; do
    read -r verb files taken name argument values <<<"$row"
    verb_options[$verb]+=""
    # After a verb, --version is not offered (it is offered before one).
    [[ $taken == 1 && $name == --* && $name != --version ]] && verb_options[$verb]+=" $name"
    # What follows the option as the next word: its value where the verb
    # takes it with one, else what follows the verb's options.
    if [[ $taken == 1 && $argument == required ]]; then
        case $name in
            --entry) want=$entries_offered ;;
            -s | --settings) want=$all_files ;;
            *) want=$(sorted_words $values) ;;
        esac
        [[ $name == --* ]] && check "marquill $verb $name=" "$want"
    elif [[ $files == true && $name != --stdin-only ]]; then
        want=$all_files
    else
        want=''
    fi
    check "marquill $verb $name " "$want"
done
check 'marquill ' "$(sorted_words "${!verb_options[@]}")"
for verb in "${!verb_options[@]}"; do
    check "marquill $verb --" "$(sorted_words ${verb_options[$verb]})"
done
exit $failed

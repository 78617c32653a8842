# bash completion for marquill: verbs, options, their values, files, and the
# entries of the settings file in effect, all as `marquill entries
# --format=json` lists them.

# A JSON string's inside, as the filter writes it, decoded.
_marquill_unjson()
{
    local s=${1//\\\"/\"}
    printf '%b' "$s"
}

# The texts that --entry takes, one per line, for the settings options given.
_marquill_entries()
{
    local program=$1 line
    shift
    local re='"entry": "(([^"\\]|\\.)*)"\}'
    while IFS= read -r line; do
        [[ $line =~ $re ]] && printf '%s\n' "$(_marquill_unjson "${BASH_REMATCH[1]}")"
    done < <("$program" entries --format=json "$@" 2>/dev/null)
}

# Without VERB, the verbs; with it, the options VERB takes; with OPTION too,
# the values OPTION takes; with OPTION '=', the options that take a value;
# with OPTION '.', true when VERB takes FILE operands.
_marquill_table()
{
    local program=$1 verb=${2-} option=${3-} line rest
    local re_verb='^  \{"verb": "([^"]*)", "files": ([a-z]*), "options": \[(.*)\]\},?$'
    local re_option='\{"name": "([^"]*)"(, "short": "([^"]*)")?(, "argument": "([a-z]*)", "values": \[([^]]*)\])?\}'
    local re_value='"([^"]*)"'
    while IFS= read -r line; do
        [[ $line =~ $re_verb ]] || continue
        if [[ -z $verb ]]; then
            printf '%s\n' "${BASH_REMATCH[1]}"
            continue
        fi
        [[ ${BASH_REMATCH[1]} == "$verb" ]] || continue
        if [[ $option == . ]]; then
            printf '%s\n' "${BASH_REMATCH[2]}"
            continue
        fi
        rest=${BASH_REMATCH[3]}
        while [[ $rest =~ $re_option ]]; do
            rest=${rest#*"${BASH_REMATCH[0]}"}
            local name=${BASH_REMATCH[1]} short=${BASH_REMATCH[3]} argument=${BASH_REMATCH[5]}
            local values=${BASH_REMATCH[6]}
            if [[ -z $option ]]; then
                printf '%s\n' "$name"
            elif [[ $option == = ]]; then
                [[ $argument == required ]] && printf '%s\n%s\n' "$name" "$short"
            elif [[ $option == "$name" || $option == "$short" ]]; then
                while [[ $values =~ $re_value ]]; do
                    printf '%s\n' "${BASH_REMATCH[1]}"
                    values=${values#*"${BASH_REMATCH[0]}"}
                done
            fi
        done
    done < <("$program" entries --format=json --settings /dev/null 2>/dev/null)
}

_marquill()
{
    local cur prev words cword split
    _init_completion -s || return

    local verb="" i word stdin_only=""
    local -a settings=()
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        case $word in
            -s | --settings) settings+=(--settings "${words[i + 1]/#\~/$HOME}") ;;
            --settings=*) settings+=("$word") ;;
            --settings-encoding) settings+=("$word" "${words[i + 1]}") ;;
            --settings-encoding=*) settings+=("$word") ;;
            --stdin-only) stdin_only=1 ;;
        esac
        [[ -z $verb && $word != -* ]] && verb=$word
    done
    # The verb is the first word that is no option (the filter wants it first).
    [[ -n $verb && $verb != "${words[1]}" ]] && verb=""

    local IFS=$'\n'
    if [[ -n $verb && $prev == -* ]]; then
        if [[ $prev == --entry ]]; then
            # Not through compgen -W, which would take quotes and
            # backslashes in captions for its own.
            local entry
            while IFS= read -r entry; do
                [[ $entry == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$entry")")
            done < <(_marquill_entries "$1" "${settings[@]}")
            return
        fi
        if [[ $prev == -s || $prev == --settings ]]; then
            _filedir
            return
        fi
        local takes
        for takes in $(_marquill_table "$1" "$verb" =); do
            if [[ $prev == "$takes" ]]; then
                COMPREPLY=($(compgen -W "$(_marquill_table "$1" "$verb" "$prev")" -- "$cur"))
                return
            fi
        done
    fi
    [[ $split == true ]] && return

    if [[ -z $verb ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W $'--help\n--version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$(_marquill_table "$1")" -- "$cur"))
        fi
        return
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_marquill_table "$1" "$verb" | grep -v -e "^--version$")" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    [[ -n $stdin_only || $(_marquill_table "$1" "$verb" .) != true ]] && return
    _filedir
} &&
    complete -F _marquill marquill

# bash completion for marquill: verbs, options, their values, files, and the
# captions of the settings file in effect (as the menu shows them).

# The captions that `marquill entries` lists for the settings options of the
# command line, in the form the menu shows: before any tab, without & marks,
# and without a trailing access key such as (&M) unless two entries would
# then read the same.
_marquill_captions()
{
    local program=$1
    shift
    local line caption key
    local -a shown=() short=()
    local -A count=()
    while IFS= read -r line; do
        caption=${line#*$'\t'}
        caption=${caption%%\\t*}
        key=""
        if [[ $caption =~ ^(.*[^[:space:]])([[:space:]]*\(\&.\))$ ]]; then
            caption=${BASH_REMATCH[1]}
            key=${BASH_REMATCH[2]}
        fi
        caption=${caption//&&/$'\1'}
        caption=${caption//&/}
        caption=${caption//$'\1'/\&}
        key=${key//&/}
        short+=("$caption")
        shown+=("$caption$key")
        count[$caption]=$((${count[$caption]:-0} + 1))
    done < <("$program" entries "$@" 2>/dev/null)
    local i
    for i in "${!short[@]}"; do
        if ((${count[${short[i]}]} > 1)); then
            printf '%s\n' "${shown[i]}"
        else
            printf '%s\n' "${short[i]}"
        fi
    done
}

_marquill()
{
    local cur prev words cword split
    _init_completion -s || return

    local verb="" i word
    local -a settings=()
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        case $word in
            -s | --settings) settings+=(--settings "${words[i + 1]/#\~/$HOME}") ;;
            --settings=*) settings+=("$word") ;;
            --settings-encoding) settings+=("$word" "${words[i + 1]}") ;;
            --settings-encoding=*) settings+=("$word") ;;
        esac
        if [[ -z $verb && $word != -* ]]; then
            case ${words[i - 1]} in
                -s | --settings | -e | --symbol | --entry | --at | --lines | --settings-encoding) ;;
                *) verb=$word ;;
            esac
        fi
    done

    case $prev in
        --at)
            COMPREPLY=($(compgen -W 'head char' -- "$cur"))
            return
            ;;
        --lines)
            COMPREPLY=($(compgen -W 'all nonblank least after-blank' -- "$cur"))
            return
            ;;
        --settings-encoding)
            COMPREPLY=($(compgen -W 'auto utf-8 cp932' -- "$cur"))
            return
            ;;
        -s | --settings)
            _filedir
            return
            ;;
        -e | --symbol)
            return
            ;;
        --entry)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(_marquill_captions "$1" "${settings[@]}")" -- "$cur"))
            for i in "${!COMPREPLY[@]}"; do
                COMPREPLY[i]=$(printf '%q' "${COMPREPLY[i]}")
            done
            return
            ;;
    esac
    [[ $split == true ]] && return

    if [[ -z $verb ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W 'insert delete toggle delete-once delete-all entries' -- "$cur"))
        fi
        return
    fi

    if [[ $cur == -* ]]; then
        local options
        case $verb in
            insert | toggle) options='--at --lines --symbol --settings --entry --settings-encoding --in-place' ;;
            delete) options='--symbol --settings --entry --settings-encoding --in-place' ;;
            delete-once | delete-all) options='--symbol --settings --settings-encoding --in-place' ;;
            entries) options='--settings --settings-encoding --null' ;;
        esac
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    [[ $verb == entries ]] && return
    _filedir
} &&
    complete -F _marquill marquill

# Bash completion for quorvex, quorvex-fleet and mpsim. Installed once under
# each command's name, so that bash-completion loads it for any of them.

# COMPREPLY from compgen ARGS... for the word being completed; names of
# files and folders shown and quoted as such.
_quorvex_offer_files()
{
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen "$@" -- "${COMP_WORDS[COMP_CWORD]}")
}

# COMPREPLY from a list of words.
_quorvex_offer_words()
{
    mapfile -t COMPREPLY < <(compgen -W "$1" -- "${COMP_WORDS[COMP_CWORD]}")
}

# quorvex: options in both spellings (-s and /s, any case), --help,
# --version and the fleet mode's options after "--"; files after -f, -l,
# -j and --inventory, folders after --output, nothing to offer after the
# options that take other values.
_quorvex()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    COMPREPLY=()
    if [ "$COMP_CWORD" -gt 1 ]; then
        case ${prev,,} in
            -f|/f|-l|/l|-j|/j|--inventory) _quorvex_offer_files -f; return ;;
            --output) _quorvex_offer_files -d; return ;;
            -s|/s|-u|/u|-p|/p|-t|/t|--jobs|--first|--time-bound|--retries|--retry-wait|--halt|--canary) return ;;
        esac
    fi
    if [[ $cur == /* ]]; then
        _quorvex_offer_words "/s /f /l /v /c /u /p /t /j /q"
    elif [[ $cur != --* ]]; then
        _quorvex_offer_words "-s -f -l -v -c -u -p -t -j -q"
    else
        _quorvex_offer_words "--help --version --inventory --output --jobs --first --time-bound --retries
            --retry-wait --halt --canary"
    fi
}
complete -F _quorvex quorvex

_mpsim()
{
    COMPREPLY=()
    case ${COMP_WORDS[COMP_CWORD-1]} in
        --generation) _quorvex_offer_words "stream http"; return ;;
        --scenario|--cert|--key|--floppy-file|--port-file) _quorvex_offer_files -f; return ;;
        --record) _quorvex_offer_files -d; return ;;
        --port|--listen|--connections|--processors|--answer-delay|--version|--timeout|--identity) return ;;
    esac
    _quorvex_offer_words "--generation --port --listen --port-file --connections --processors
        --answer-delay --version --scenario --record --cert --key --floppy-file --timeout --identity
        --verbose --help"
}
complete -F _mpsim mpsim

_quorvex_fleet()
{
    COMPREPLY=()
    case ${COMP_WORDS[COMP_CWORD-1]} in
        -f|--script|-Q|--quorvex|--sshloginfile|-K|--known-processors) _quorvex_offer_files -f; return ;;
        -o|--output) _quorvex_offer_files -d; return ;;
        -j|--jobs|-T|--time-bound|-r|--retries|-w|--retry-wait|--halt|--canary|-S|--sshlogin) return ;;
    esac
    if [[ ${COMP_WORDS[COMP_CWORD]} == -* ]]; then
        _quorvex_offer_words "--script --jobs --output --time-bound --retries --retry-wait --halt --canary
            --known-processors --verbose --ask-password --quorvex --sshlogin --sshloginfile --help"
    else
        _quorvex_offer_files -f  # the inventory
    fi
}
complete -F _quorvex_fleet quorvex-fleet

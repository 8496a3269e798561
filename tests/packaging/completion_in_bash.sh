#!/usr/bin/env bash
# Drives the bash completion of quorvex, mpsim and quorvex-fleet in a bash
# session: loaded the way bash-completion loads it (by command name from
# SHARE/bash-completion/completions), `complete -p` names our functions and
# the completions offered are the expected ones.
#
#     completion_in_bash.sh SHARE     (SHARE: an installed share/ folder)
set -uo pipefail
share=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir records && touch script.xml scenario.txt run.log

env -i HOME="$work" PATH=/usr/bin:/bin XDG_DATA_DIRS="$share" bash --norc --noprofile <<'SESSION'
failures=0
if [ -f /usr/share/bash-completion/bash_completion ]; then
    # The loader looks a command's completion up when it is first used.
    . /usr/share/bash-completion/bash_completion
    for command in quorvex mpsim quorvex-fleet; do
        __load_completion "$command" || { echo "FAILED: no completion found for $command"; failures=1; }
    done
else
    echo "bash-completion is not installed: the file is sourced directly"
    . "$XDG_DATA_DIRS/bash-completion/completions/quorvex"
fi

registered=$(for command in quorvex mpsim quorvex-fleet; do complete -p "$command" 2>&1; done)
expected=$(printf '%s\n' "complete -F _quorvex quorvex" "complete -F _mpsim mpsim" \
    "complete -F _quorvex_fleet quorvex-fleet")
if [ "$registered" != "$expected" ]; then
    echo "FAILED: complete -p shows"
    echo "$registered"
    failures=1
fi

# try 'LINE' 'EXPECTED': completes the last word of LINE (a line ending in a
# blank completes an empty word) with the function complete -p names.
try() {
    local line=$1 expected=$2
    read -ra COMP_WORDS <<< "$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
    COMP_LINE=$line COMP_POINT=${#line}
    local function
    function=$(complete -p "${COMP_WORDS[0]}" | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
    COMPREPLY=()
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" != "$expected" ]; then
        echo "FAILED: '$line' offers '$got', not '$expected'"
        failures=1
    fi
}

try 'quorvex -' '-c -f -j -l -p -q -s -t -u -v'
try 'quorvex ' '-c -f -j -l -p -q -s -t -u -v'
try 'quorvex /' '/c /f /j /l /p /q /s /t /u /v'
try 'quorvex --' '--canary --first --halt --help --inventory --jobs --output --retries --retry-wait --time-bound --version'
try 'quorvex --v' '--version'
try 'quorvex -s mp1 -f sc' 'scenario.txt script.xml'
try 'quorvex -s mp1 /F scr' 'script.xml'
try 'quorvex -f script.xml -L ru' 'run.log'
try 'quorvex -f script.xml -l rec' 'records'
try 'quorvex -f script.xml -P ' ''
try 'quorvex -S ' ''
try 'quorvex -f script.xml -t ' ''
try 'quorvex -f script.xml -J rec' 'records'
try 'quorvex -s mp1 -v /' '/c /f /j /l /p /q /s /t /u /v'
try 'mpsim --generation ' 'http stream'
try 'mpsim --sc' '--scenario'
try 'mpsim --scenario sc' 'scenario.txt script.xml'
try 'mpsim --record ' 'records'
try 'mpsim --port ' ''
try 'mpsim --identity ' ''
try 'quorvex-fleet --ti' '--time-bound'
try 'quorvex-fleet --kn' '--known-processors'
try 'quorvex-fleet -f script.xml -K ru' 'run.log'
try 'quorvex-fleet -f s' 'scenario.txt script.xml'
try 'quorvex-fleet -f script.xml -o ' 'records'
try 'quorvex-fleet -f script.xml -j ' ''
try 'quorvex-fleet -f script.xml r' 'records run.log'
[ "$failures" = 0 ] && echo "completion: ok" || echo "completion: FAILED"
exit "$failures"
SESSION

#!/usr/bin/env bash
# The bash completion in bash --norc, without the bash-completion package and,
# where it is installed, with it: Tab offers what it should, never "command
# not found".   completion.sh FILE
set -euo pipefail
completion=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sub" && touch "$work/a.seq" "$work/b.txt"

# check SETUP EXPECTED WORD...: what Tab offers for the last word.
failed=0
check() {
    local setup=$1 expected=$2 got
    shift 2
    got=$(cd "$work" && bash --norc --noprofile -c "$setup"'
        source "$0"
        COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*"
        COMP_LINE=${COMP_LINE// = /=} COMP_POINT=${#COMP_LINE} # as typed: "--run=a"
        function=$(complete -p "$1") && function=${function#*-F } && function=${function%% *}
        "$function" "$1" "${@: -1}" "${@: -2:1}"
        echo "${COMPREPLY[*]}"' "$completion" "$@" 2>&1) || true
    [ "$got" = "$expected" ] && return
    echo "FAIL (${setup:-no bash-completion}): '$*' offers '$got', not '$expected'"
    failed=1
}

setups=("")
bc=/usr/share/bash-completion/bash_completion
[ -r "$bc" ] && setups+=("source $bc;")
for setup in "${setups[@]}"; do
    check "$setup" "--run --report" orv-test --r
    check "$setup" "--port --report --config --help --version" orv-test --run a.seq --
    check "$setup" "a.seq sub b.txt" orv-test --run ""
    check "$setup" "a.seq" orv-test --run = a
    check "$setup" "b.txt" orv-test --report b
    check "$setup" "--answer" orv-sim --link x --an
done
exit "$failed"

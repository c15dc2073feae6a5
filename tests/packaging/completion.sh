#!/usr/bin/env bash
# The bash completion in a plain shell (bash --norc, no bash-completion
# package), and with that package too where it is installed: Tab offers what
# it should and nothing ends in "command not found".
#   completion.sh FILE
set -euo pipefail
completion=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sub"
touch "$work/a.seq" "$work/b.txt"

# check SETUP EXPECTED WORD...: completes the last word of the command line.
failed=0
check() {
    local setup=$1 expected=$2
    shift 2
    local got
    got=$(cd "$work" && bash --norc --noprofile -c '
        '"$setup"'
        source "$0"
        COMP_WORDS=("${@:1}")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="${*:1}"
        COMP_LINE=${COMP_LINE// = /=} # as typed: "--run=a"
        COMP_POINT=${#COMP_LINE}
        function=$(complete -p "$1") && function=${function#*-F } && function=${function%% *}
        "$function" "$1" "${@: -1}" "${@: -2:1}"
        echo "${COMPREPLY[*]}"' "$completion" "$@" 2>&1) || true
    if [ "$got" != "$expected" ]; then
        echo "FAIL (${setup:-plain bash}): '$*' offers '$got', not '$expected'"
        failed=1
    fi
}

setups=("")
bc=/usr/share/bash-completion/bash_completion
[ -r "$bc" ] && setups+=("source $bc")
for setup in "${setups[@]}"; do
    check "$setup" "--run --report" orv-test --r
    check "$setup" "--port --report --config --help --version" orv-test --run a.seq --
    check "$setup" "a.seq sub b.txt" orv-test --run ""
    check "$setup" "a.seq" orv-test --run = a
    check "$setup" "b.txt" orv-test --report b
    check "$setup" "--link" orv-sim --l
    check "$setup" "--answer" orv-sim --run --an
done
[ "$failed" -eq 0 ] && echo "completion: ${#setups[@]} setup(s) passed"
exit "$failed"

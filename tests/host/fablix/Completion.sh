#!/usr/bin/env bash
# The completions made from the command table: the bash script loads in a
# plain bash (no bash-completion), registers itself, and completes commands,
# options, slider numbers, channel letters and file names by kind; the zsh
# script parses.
#   Completion.sh PAGES_DIR
set -u
pages=$1
folder=$(mktemp -d "${TMPDIR:-/tmp}/fablix-completion-$$-XXXX")
trap 'rm -rf "$folder"' EXIT
cd "$folder" && touch a.fbl b.png c.mp4 d.so e.rvp f.txt && mkdir sub || exit 1

failures=0
check() {  # check NAME EXPECTED WORD...: completes the last word
    local name=$1 expected=$2
    shift 2
    local got
    got=$(bash --norc --noprofile -c '
        source "$0" || exit 9
        COMP_WORDS=("${@}")
        COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))
        _fablix
        [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' "$pages/fablix" "$@" 2>&1)
    if [ "$got" != "$expected" ]; then
        echo "FAIL $name: completing '$*' gave '$got', wanted '$expected'"
        failures=$((failures + 1))
    fi
}

registered=$(bash --norc --noprofile -c 'source "$0" && complete -p fablix' "$pages/fablix" 2>&1)
if [ "$registered" != "complete -F _fablix fablix" ]; then
    echo "FAIL the script does not register _fablix: '$registered'"
    failures=$((failures + 1))
fi
check command "render " fablix ren
check commands-b "bench build " fablix b
check tool-option "--version " fablix --v
check option "--threads " fablix render --thr
check block-option "--settings --single --slider --slider-name " fablix build --s
check plain "--plain " fablix render --pl
check overwrite "--no-overwrite " fablix save --no
check slider "0= 1= 2= 3= 4= 5= 6= 7= " fablix render --slider ""
check map-name "0= 1= 2= 3= " fablix build --map ""
check channel "a= b= g= r= " fablix show --formula-file ""
check formula-file "b=a.fbl b=b.png b=c.mp4 b=d.so b=e.rvp b=f.txt b=sub " fablix show --formula-file b=
check settings "a.fbl sub " fablix render --settings ""
check media "b.png c.mp4 sub " fablix render ""
check media-after-options "b.png c.mp4 sub " fablix render -r r -y ""
check plugin "d.so e.rvp sub " fablix build -r r ""
check image "d.so e.rvp sub " fablix build --image ""
check folder "sub " fablix build --kdenlive ""
check controls "map0 map1 map2 map3 " fablix build --enable ma
check controls-list "map1,map0 map1,map1 map1,map2 map1,map3 " fablix build --enable map1,m
check topic "formulas " fablix help fo
check text-value "" fablix render -r ""
check number-value "" fablix render --threads ""

if ! zsh -n "$pages/_fablix"; then
    echo "FAIL the zsh script does not parse"
    failures=$((failures + 1))
fi
[ "$(head -n1 "$pages/_fablix")" = "#compdef fablix" ] || { echo "FAIL _fablix lacks #compdef"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "completion: all cases pass"
exit $((failures > 0))

#!/usr/bin/env bash
# Drives postrider-cli's bash completion as bash does on Tab: COMP_WORDS and
# COMP_CWORD set, the function called, COMPREPLY compared. The command word is
# the postrider-cli under test, so the project's own field names come from it.
#   bash bash_completion_test.sh   (POSTRIDER_SOURCE_DIR and POSTRIDER_CLI set)
set -uo pipefail

# shellcheck source=/dev/null
source /usr/share/bash-completion/bash_completion || exit 1
# shellcheck source=/dev/null
source "$POSTRIDER_SOURCE_DIR/res/completion/postrider-cli.bash" || exit 1

failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r "$POSTRIDER_SOURCE_DIR/examples" "$scratch/examples"
mkdir "$scratch/sub"
touch "$scratch/notes.txt" "$scratch/june.prj"
cd "$scratch" || exit 1
cli=$POSTRIDER_CLI

# complete_line EXPECTED WORD...: the last WORD is the one being completed;
# EXPECTED is the sorted replies, one a line.
complete_line() {
    local expected=$1
    shift
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _postrider_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort)
    if [[ $got != "$expected" ]]; then
        echo "FAILED: postrider-cli $*"
        echo "  expected: ${expected//$'\n'/ | }"
        echo "  got:      ${got//$'\n'/ | }"
        failures=$((failures + 1))
    fi
}

lines() { printf '%s\n' "$@" | LC_ALL=C sort; }

registered=$(complete -p postrider-cli 2>&1)
if [[ $registered != "complete -F _postrider_cli postrider-cli" ]]; then
    echo "FAILED: complete -p postrider-cli: $registered"
    failures=$((failures + 1))
fi

# Commands and the program's own options.
complete_line "$(lines check-server compose entries fields info new select send sign-in --help --version)" ""
complete_line "$(lines select send)" se
complete_line "$(lines --help --version)" --

# Project files and folders to go into (bash adds the slash), nothing else.
complete_line "$(lines examples june.prj sub)" info ""
complete_line "$(lines examples/example-comma.prj examples/example.prj)" fields examples/ex
complete_line "$(lines june.prj)" send j

# Each command's own flags, once its project is given; a flag's file value.
complete_line "$(lines --per-connection --per-minute --password-file)" send june.prj --p
complete_line "$(lines --from-start --resume --settings --password-file --per-minute --per-connection --skip-unready --fields-as-written)" \
    send june.prj ""
complete_line "$(lines --list --comma --email-field --message)" new n.prj -
complete_line "$(lines examples june.prj notes.txt sub)" new n.prj --list ""
complete_line "$(lines --settings --password-file)" check-server ""
complete_line "$(lines --settings --no-browser)" sign-in ""
complete_line "" compose june.prj ""
complete_line "" send june.prj --per-minute ""

# select: what, then the list's fields, the operators (quoted as typed), and/or.
project=examples/example.prj
complete_line "$(lines all none query)" select "$project" ""
complete_line "$(lines City Email FirstName LastName MemberSince)" select "$project" query ""
complete_line "$(lines FirstName)" select "$project" query F
complete_line "$(lines 'does\ not\ equal')" select "$project" query City d
complete_line "$(lines "'less than'" "'less than or equal'")" select "$project" query City "'less"
complete_line "$(lines '"valid email address"')" select "$project" query Email '"va'
complete_line "$(lines equals 'does\ not\ equal' 'greater\ than' 'greater\ than\ or\ equal' \
    'less\ than' 'less\ than\ or\ equal' 'valid\ email\ address')" select "$project" query City ""
complete_line "$(lines and or)" select "$project" query City equals Oslo ""
complete_line "$(lines LastName)" select "$project" query City equals Oslo and L
complete_line "$(lines 'greater\ than' 'greater\ than\ or\ equal')" \
    select "$project" query City equals Oslo or LastName g
complete_line "" select "$project" all ""
# A project that does not exist, or is not one, offers no fields and no error.
complete_line "" select missing.prj query ""
complete_line "" select notes.txt query ""

# A field name with a blank, from a comma-delimited list.
printf 'Member Since,E-mail\n2020,a@example.org\n' >"$scratch/blank.csv"
"$cli" new "$scratch/blank.prj" --list "$scratch/blank.csv" --comma --email-field E-mail \
    >/dev/null 2>&1 || { echo "FAILED: postrider-cli new"; failures=$((failures + 1)); }
complete_line "$(lines 'Member\ Since')" select blank.prj query M
complete_line "$(lines "'Member Since'")" select blank.prj query "'Mem"

# Typed text is never run while completing.
complete_line "" select '$(touch ran).prj' query ""
if [[ -e ran ]]; then
    echo "FAILED: completing ran text typed on the line"
    failures=$((failures + 1))
fi

if ((failures > 0)); then
    echo "$failures failed"
    exit 1
fi
echo "bash completion: every case passed"

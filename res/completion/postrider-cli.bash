# bash completion for postrider-cli                        -*- shell-script -*-
# Commands, their flags, project files (.prj), the list query's operators and
# the project's own list field names (from `postrider-cli fields PROJECT`).

# A word as the shell will pass it: quotes and backslashes taken out, a leading
# ~/ made the home folder. Nothing is evaluated, so no text typed on the line
# runs while completing.
_postrider_cli_unquote()
{
    local word=$1 out="" quote="" c i
    for ((i = 0; i < ${#word}; i++)); do
        c=${word:i:1}
        if [[ $quote == "'" ]]; then
            [[ $c == "'" ]] && quote="" || out+=$c
        elif [[ $c == '\' ]]; then
            ((i++))
            out+=${word:i:1}
        elif [[ -n $quote ]]; then
            [[ $c == '"' ]] && quote="" || out+=$c
        elif [[ $c == "'" || $c == '"' ]]; then
            quote=$c
        else
            out+=$c
        fi
    done
    [[ $out == "~/"* ]] && out=$HOME/${out:2}
    printf '%s' "$out"
}

# Offers the candidates (one a line on standard input) that start with the word being
# completed, quoted as that word began: 'a b', "a b" or a\ b.
_postrider_cli_offer()
{
    local typed candidate
    typed=$(_postrider_cli_unquote "$cur")
    while IFS= read -r candidate; do
        [[ -n $candidate && $candidate == "$typed"* ]] || continue
        case $cur in
            \'*) COMPREPLY+=("'$candidate'") ;;
            \"*) COMPREPLY+=("\"$candidate\"") ;;
            *) COMPREPLY+=("$(printf '%q' "$candidate")") ;;
        esac
    done
}

_postrider_cli_operators()
{
    printf '%s\n' "equals" "does not equal" "greater than" "greater than or equal" \
        "less than" "less than or equal" "valid email address"
}

# The list fields of the project named on the line, through the same program
# the line runs. A field name holding a backslash or a control character is
# shown escaped; those are left out.
_postrider_cli_fields()
{
    local program project
    program=$(_postrider_cli_unquote "${words[0]}")
    project=$(_postrider_cli_unquote "${words[2]}")
    [[ -f $project ]] || return
    "$program" fields "$project" 2>/dev/null </dev/null | grep -v '\\'
}

_postrider_cli()
{
    local cur prev words cword
    _init_completion || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'info entries fields select new compose send check-server sign-in
            --help --version' -- "$cur"))
        return
    fi

    local command=${words[1]} flags="" positionals=1
    case $command in
        info | entries | fields) ;;
        select)
            case $cword in
                2) _filedir prj ;;
                3) COMPREPLY=($(compgen -W 'all none query' -- "$cur")) ;;
                4 | 8) [[ ${words[3]} == query ]] && _postrider_cli_offer < <(_postrider_cli_fields) ;;
                5 | 9) [[ ${words[3]} == query ]] && _postrider_cli_offer < <(_postrider_cli_operators) ;;
                7) [[ ${words[3]} == query ]] && COMPREPLY=($(compgen -W 'and or' -- "$cur")) ;;
            esac
            return
            ;;
        new) flags='--list --comma --email-field --message' ;;
        compose) flags='--settings' positionals=2 ;;
        send) flags='--from-start --resume --settings --password-file --per-minute --per-connection --skip-unready --fields-as-written' ;;
        check-server) flags='--settings --password-file' positionals=0 ;;
        sign-in) flags='--settings --no-browser' positionals=0 ;;
        *) return ;;
    esac

    case $prev in
        --list | --message | --settings | --password-file)
            _filedir
            return
            ;;
        --email-field | --per-minute | --per-connection)
            return
            ;;
    esac

    # The words given so far that are neither flags nor a flag's value.
    local i given=0
    for ((i = 2; i < cword; i++)); do
        case ${words[i]} in
            --list | --message | --settings | --password-file | --email-field | --per-minute | --per-connection) ((i++)) ;;
            -*) ;;
            *) ((given++)) ;;
        esac
    done
    if [[ $cur == -* ]] || ((given >= positionals)); then
        [[ -n $flags ]] && COMPREPLY=($(compgen -W "$flags" -- "$cur"))
    elif ((given == 0)); then
        _filedir prj
    fi
} &&
    complete -F _postrider_cli postrider-cli

# ex: filetype=sh

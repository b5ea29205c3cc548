# SPDX-License-Identifier: MIT
# bash completion for kavoda-cli. The verbs, options, device types and
# adapters come from the program itself (kavoda-cli --list), so they are
# always those of the kavoda-cli being completed.

_kavoda_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    local program=${words[0]}
    local listing
    listing=$("$program" --list options 2>/dev/null) || return

    # What the listing says: KIND SCOPE NAMES VALUE DESCRIPTION, tab-separated.
    local -A valueOf=()    # "SCOPE NAME" -> value name of an option
    local -A isOption=()   # "SCOPE NAME" -> 1 for options and flags
    local -A argsOf=()     # verb -> its arguments' names, in order
    local verbs=() kind scope names value rest name
    while IFS=$'\t' read -r kind scope names value rest; do
        case $kind in
        verb) verbs+=("$names") ;;
        arg | optarg) argsOf[$scope]+="$names " ;;
        option | flag)
            local nameList=()
            IFS=, read -ra nameList <<<"$names"
            for name in "${nameList[@]}"; do
                isOption["$scope $name"]=1
                [[ $kind == option ]] && valueOf["$scope $name"]=$value
            done
            ;;
        esac
    done <<<"$listing"

    # The verb and how many of its arguments precede the word being completed;
    # an option's value is skipped.
    local verb= argCount=0 i word
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        if [[ $word == -* ]]; then
            [[ $word == *=* ]] && continue
            if [[ -n ${valueOf["- $word"]+set} || -n ${valueOf["$verb $word"]+set} ]]; then
                # --simulate's TYPE may be left out; it is taken only when it is one.
                if [[ ${valueOf["- $word"]} == \[* ]]; then
                    "$program" --list devices 2>/dev/null | cut -f1 | grep -qixF -- "${words[i + 1]}" && ((i++))
                else
                    ((i++))
                fi
            fi
        elif [[ -z $verb ]]; then
            verb=$word
        else
            ((argCount++))
        fi
    done

    # The value of an option.
    if [[ $prev == -* ]]; then
        value=${valueOf["- $prev"]-${valueOf["$verb $prev"]-}}
        if [[ -n ${valueOf["- $prev"]+set} || -n ${valueOf["$verb $prev"]+set} ]]; then
            if _kavoda_cli_value "$program" "$value"; then
                return
            fi
            # A TYPE that may be left out: go on with the verbs and options.
            [[ $value == \[* ]] || return
        fi
    fi

    if [[ $cur == -* ]]; then
        local candidates=() key
        for key in "${!isOption[@]}"; do
            scope=${key%% *}
            [[ $scope == - || $scope == "$verb" ]] && candidates+=("${key#* }")
        done
        COMPREPLY=($(compgen -W "${candidates[*]}" -- "$cur"))
        return
    fi

    if [[ -z $verb ]]; then
        COMPREPLY=($(compgen -W "${verbs[*]}" -- "$cur"))
        return
    fi

    # A verb's argument: file names where it takes a FILE (compare's A and B
    # too), and "chip" where the chip may stand in for a file.
    local args=(${argsOf[$verb]-})
    case ${args[argCount]-} in
    FILE | A | B)
        _filedir
        if [[ $verb == compare || $verb == checksum ]]; then
            COMPREPLY+=($(compgen -W chip -- "$cur"))
        fi
        ;;
    esac
}

# Completes the value of an option by its value name; false when the value
# name says nothing to complete.
_kavoda_cli_value()
{
    local program=$1 value=$2 choices
    case $value in
    *:{*}*)
        # A value checked against a set: "FAULT:{empty,busy,readonly}".
        choices=${value#*:\{}
        choices=${choices%%\}*}
        COMPREPLY=($(compgen -W "${choices//,/ }" -- "$cur"))
        ;;
    *' in ['[0-9]*' - '[0-9]*']')
        # A number checked against a range: "N:INT in [0 - 7]"; only a short
        # one is worth offering.
        local low high
        low=${value##*in \[}
        high=${low#* - }
        low=${low%% - *}
        high=${high%%\]*}
        if ((high - low <= 16)); then
            COMPREPLY=($(compgen -W "$(seq "$low" "$high")" -- "$cur"))
        else
            COMPREPLY=()
        fi
        ;;
    TYPE | \[TYPE\])
        # Names are taken in any case: offered in capitals, as typed.
        COMPREPLY=($(compgen -W "$("$program" --list devices 2>/dev/null | cut -f1 | tr '[:lower:]' '[:upper:]')" -- "${cur^^}"))
        [[ $value == \[* && ${#COMPREPLY[@]} -eq 0 ]] && return 1
        ;;
    ADAPTER)
        local adapter adapters=()
        while read -r adapter; do
            if [[ $adapter == *: ]]; then
                # A bus adapter: one entry for each of its devices that exists.
                local node nodes=(/dev/i2c-*)
                [[ $adapter == spidev: ]] && nodes=(/dev/spidev*)
                for node in "${nodes[@]}"; do
                    [[ -e $node ]] && adapters+=("$adapter$node")
                done
            else
                adapters+=("$adapter")
            fi
        done < <("$program" --list adapters 2>/dev/null)
        COMPREPLY=($(compgen -W "${adapters[*]}" -- "$cur"))
        ;;
    FILE*) _filedir ;;
    PORT) COMPREPLY=($(compgen -W "$(compgen -G '/dev/parport*')" -- "$cur")) ;;
    *) COMPREPLY=() ;;
    esac
    return 0
}

complete -F _kavoda_cli kavoda-cli

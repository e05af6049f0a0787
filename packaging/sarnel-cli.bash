# bash completion for sarnel-cli                                      -*- shell-script -*-
#
# Completes the commands, each command's options, the button captions of `press`, sample
# numbers, port names and files. A new command is a word in _sarnel_cli_commands and a line
# in _sarnel_cli_options; packaging/tests/completion_test.cpp checks both against the
# program's own --help texts.

_sarnel_cli_commands() {
    echo bus-scan compile decode flash ports press reg run samples udev-rule
}

# The options of one command.
_sarnel_cli_options() {
    case $1 in
        bus-scan) echo --port --json --read --first --last --timeout --simulate ;;
        compile) echo --raw --sample ;;
        decode) echo --continuous ;;
        flash) echo --port --simulate --from-app --stop-on-error --timing ;;
        ports) echo --all --json --simulate ;;
        press) echo --port --timeout --json --simulate ;;
        reg) echo --port --addr --reg --reg16 --count --data --json --timeout --simulate ;;
        run) echo --port --continuous --timeout --json --log --repeat --interval --simulate ;;
        samples) ;;
        udev-rule) echo --port --ids ;;
    esac
}

# The captions `press` takes, one a line.
_sarnel_cli_buttons() {
    printf '%s\n' Ping 'H>L' 'L>H' On Off Slow Fast 'Reset?' 'Save Last' 'Run Saved' 'Reset!'
}

# Port names, one a line: the COMn entries of VESKOR_PORT_DIR (they come first when a name is
# resolved), the remote ports numbered in the per-user file of ports, then for each serial device present its COM name in the fixed table and its
# path, then the stable /dev/serial/by-id names. Nothing is opened: a completion must not
# disturb a device.
_sarnel_cli_ports() {
    local dev n
    if [[ -n ${VESKOR_PORT_DIR-} ]]; then
        for dev in "$VESKOR_PORT_DIR"/COM*; do
            [[ -e $dev || -L $dev ]] && echo "${dev##*/}"
        done
    fi
    local ports=${XDG_CONFIG_HOME:-$HOME/.config}/sarnel/ports line
    if [[ -r $ports ]]; then
        while read -r line; do
            [[ $line =~ ^[Cc][Oo][Mm]([1-9][0-9]*)[[:space:]]+(rfc2217|socket):// ]] && echo "COM${BASH_REMATCH[1]}"
        done < "$ports"
    fi
    for dev in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
        [[ -c $dev ]] || continue
        n=${dev##*[!0-9]}
        [[ -n $n ]] || continue
        case $dev in
            /dev/ttyS*)
                # A legacy port without a UART behind it reports type 0; leave those out.
                [[ $(cat "/sys/class/tty/${dev#/dev/}/type" 2>/dev/null) == 0 ]] && continue
                ((10#$n < 32)) && echo "COM$((10#$n + 1))" ;;
            /dev/ttyUSB*) ((10#$n < 32)) && echo "COM$((10#$n + 33))" ;;
            /dev/ttyACM*) ((10#$n < 32)) && echo "COM$((10#$n + 65))" ;;
        esac
        echo "$dev"
    done
    for dev in /dev/serial/by-id/*; do
        [[ -e $dev ]] && echo "$dev"
    done
}

# Adds the lines of standard input that begin with the word being completed to COMPREPLY.
# The word as typed may open a quote or escape characters; it is matched by what it stands
# for, and readline quotes the candidates as the word needs (-o filenames).
_sarnel_cli_add() {
    local typed=$1 line
    typed=${typed#[\"\']}
    typed=${typed//\\/}
    while IFS= read -r line; do
        [[ $line == "$typed"* ]] && COMPREPLY+=("$line")
    done
    compopt -o filenames 2>/dev/null
}

_sarnel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]}
    [[ $program == */* && -x $program ]] || program=sarnel-cli
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        _sarnel_cli_add "$cur" < <(printf '%s\n' $(_sarnel_cli_commands) --help --version)
        return
    fi
    local command=${COMP_WORDS[1]}

    case $prev in
        --port)
            _sarnel_cli_add "$cur" < <(_sarnel_cli_ports)
            return ;;
        --timeout | --interval | --repeat | --first | --last | --addr | --reg | --count | --data | --ids)
            return ;;  # numbers, VVVV:PPPP
        --log)
            compopt -o default 2>/dev/null
            return ;;  # any file
        --sample)
            _sarnel_cli_add "$cur" < <("$program" samples 2>/dev/null | cut -d' ' -f1)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        _sarnel_cli_add "$cur" < <(printf '%s\n' $(_sarnel_cli_options "$command") --help)
        return
    fi

    case $command in
        press) _sarnel_cli_add "$cur" < <(_sarnel_cli_buttons) ;;
        reg) ((COMP_CWORD == 2)) && _sarnel_cli_add "$cur" < <(printf '%s\n' read write) ;;
        samples) _sarnel_cli_add "$cur" < <("$program" samples 2>/dev/null | cut -d' ' -f1) ;;
        flash)
            _sarnel_cli_add "$cur" < <(compgen -d -- "$cur"; compgen -f -X '!*.[hH][eE][xX]' -- "$cur") ;;
        compile | decode | run) compopt -o default 2>/dev/null ;;  # any file
    esac
}

complete -F _sarnel_cli sarnel-cli

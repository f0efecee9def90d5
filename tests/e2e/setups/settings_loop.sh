# Sourced by a case's setup, after sized_names: settings_matrix ARGS STAMP writes
# matrix.btm, which the case calls from sub/. Standard input lists the settings, one a
# line, as the setdos switches that make them from the defaults, typed as under the
# defaults ("/c~ /x-8", "/e^<"); a line beginning with "+" is copied as a command. For
# each setting matrix.btm applies it, runs VESK with ARGS into LIST, shows the result
# and _VESK, restores the defaults, then checks every cell as the README advises a batch
# file to read it (nested expansion, separators, redirection, quoting and the escape
# character off) and prints only what differs, naming the setting and the cell.
#
# What each cell should hold comes from here, never from the plug-in: the files
# sized_names made (then pwn.btm, the smallest), their sizes, STAMP, and the rule of
# which rows a setting refuses (matrix_refuses_*). A line compares the codes of the
# cell's characters (the shell's @ascii) with the codes written here and expands to
# rem when they agree, to echo when not; the cell only ever stands inside a function's
# brackets or after echo, as the README reads it. A row that should not be there is
# read as well: the shell says on standard error that its index is out of range.
#
# The VESK line and the restoring one are typed as the setting in force requires, and
# no setting passes through a variable or a batch argument: how the shell reads what an
# expansion gives must not decide whether the matrix itself works, only what the cells
# hold. The line that shows the result ends in a letter, which no setting makes the
# escape character, so it never continues onto the next. With "_" or "?" as the
# separator that line itself is split, as the shell splits it.
#
# Beside the files in sub/ goes a pwn.btm that reports any name that runs it.

# The setting that switches (typed under the defaults) make: sets E, S and OFF (the
# digits of the features switched off).
matrix_apply() {
    local word c d words
    read -ra words <<< "$1"
    for word in "${words[@]}"; do
        case $word in
            /x0) OFF= ;;
            /x-*)
                c=$OFF${word#/x-} OFF=
                for d in 1 2 3 4 5 6 7 8 9; do [[ $c == *$d* ]] && OFF+=$d; done ;;
            /x+*) OFF=${OFF//[${word#/x+}]/} ;;
            /e* | /c*)
                c=${word#/?}
                c=${c#^}
                if [ "${word:1:1}" = e ]; then E=$c; else S=$c; fi ;;
        esac
    done
}

# TEXT typed so that the shell under E, S and OFF reads it as it stands: while the escape
# works, the escape character, the separator and "&|<>"`" are escaped; without it a
# character that would be syntax cannot be typed, and the setup fails.
matrix_type() {
    local text=$1 out= i c
    for ((i = 0; i < ${#text}; i++)); do
        c=${text:i:1}
        if [[ $OFF != *8* ]]; then
            if [ "$c" = "$E" ] || [ "$c" = "$S" ] || [[ $c == [\&\|\<\>\"\`] ]]; then
                out+=$E
            fi
        elif [ "$c" = "$S" ] && [[ $OFF != *5* ]]; then
            echo "settings_matrix: cannot type \"$text\" under /e$E /c$S /x-$OFF" >&2
            return 1
        fi
        out+=$c
    done
    printf '%s' "$out"
}

# The features the plug-in is told are off (TOLD, from %_expansion, which a "+set
# _expansion=" line may have set), or UNTOLD when it is in a form the shell never gives.
matrix_told() {
    UNTOLD= TOLD=$OFF
    case ${EXPANSION-unset} in
        unset) ;;
        0) TOLD= ;;
        *[!0-9]*) UNTOLD=1 ;;
        *) TOLD=$EXPANSION ;;
    esac
}

# Whether the plug-in can write none of its lines: the escape character is one of their
# own characters while it works ("*" only while aliases may be on), the separator is
# "*" while aliases may be on, or one of the characters of its command lines while the
# escape character is off.
matrix_refuses_all() {
    local aliases=1 escape=1 bare=0
    [[ $TOLD == *1* ]] && aliases=0
    [[ $TOLD == *8* ]] && escape=0 bare=1
    [ -n "$UNTOLD" ] && aliases=1 escape=1 bare=1
    if ((escape)) && { [[ '[],=/@' == *"$E"* ]] || { [ "$E" = '*' ] && ((aliases)); }; }; then
        return 0
    fi
    [ "$S" = '*' ] && ((aliases)) && return 0
    ((bare)) && [[ '[],=/' == *"$S"* ]]
}

# Whether the row of NAME is refused. With the escape character off: a blank at either
# end, a line end, or a character a feature still on makes syntax (the separator, "&&"
# and "|" under 5, "<" and ">" under 6, a double or back quote under 7). Untold: any
# character that needs escaping, "%" among them, but those escaped only as a precaution
# ("[ ] , ( )").
matrix_refuses_row() {
    local name=$1
    [[ $name == ' '* || $name == *' ' || $name == *[$'\r\n']* ]] &&
        [[ -n $UNTOLD || $TOLD == *8* ]] && return 0
    if [ -n "$UNTOLD" ]; then
        [[ $name == *[\&\|\<\>\"\`%]* || $name == *"$E"* || $name == *"$S"* ]]
        return
    fi
    [[ $TOLD == *8* ]] || return 1
    [[ $TOLD != *5* ]] && [[ $name == *"$S"* || $name == *'&&'* || $name == *'|'* ]] &&
        return 0
    [[ $TOLD != *6* ]] && [[ $name == *[\<\>]* ]] && return 0
    [[ $TOLD != *7* ]] && [[ $name == *[\"\`]* ]]
}

# CODES: the codes of TEXT's characters, as @ascii gives them.
matrix_codes() {
    local text=$1 i code
    CODES=
    for ((i = 0; i < ${#text}; i++)); do
        printf -v code '%d' "'${text:i:1}"
        CODES+=${CODES:+ }$code
    done
}

# One line typed under /x-45678 (where only "%" needs doubling) that prints
# "LABEL: row R column C: expected WANTED, got [CELL]" unless cell R,C holds the text of
# CODES.
matrix_check() {
    local label=$1 row=$2 column=$3 codes=$4 wanted=$5 cell="%list[$2,$3]"
    printf '%s\n' "%show[%@wild[%@ascii[$cell],$codes]] $label: row $row column $column: expected ${wanted//%/%%}, got [$cell]"
}

settings_matrix() {
    local args=$1 stamp=$2 line restore label r k
    local -a names=("${SIZED_NAMES[@]}" pwn.btm) sizes=("${SIZED_SIZES[@]}")
    printf 'echo PWNED: a name ran pwn.btm\r\nset PWNED=yes\r\n' > sub/pwn.btm
    TZ=UTC touch -d '2024-05-01 12:00:00' sub/pwn.btm
    sizes+=($(wc -c < sub/pwn.btm))
    # The codes of each name and size, and of what a cell of no array reads as: the
    # shell takes "%list" for an empty variable and keeps the index.
    local -a codes=() sizeCodes=() absent=()
    for ((k = 0; k < ${#names[@]}; k++)); do
        matrix_codes "${names[k]}" && codes+=("$CODES")
        matrix_codes "${sizes[k]}" && sizeCodes+=("$CODES")
        matrix_codes "[$k,0]" && absent+=("$CODES")
    done
    matrix_codes "$stamp" && local stampCodes=$CODES
    matrix_codes '[0,1]' && absent+=("$CODES")
    matrix_codes '[0,2]' && absent+=("$CODES")
    unset EXPANSION
    exec 3> matrix.btm
    printf '%s\n' 'setarray show[2]' 'set show[0]=echo' 'set show[1]=rem' >&3
    while IFS= read -r line; do
        [ -n "$line" ] || continue
        if [ "${line:0:1}" = + ]; then
            printf '%s\n' "${line:1}"
            [[ $line == '+set _expansion='* ]] && EXPANSION=${line#*=}
            [[ $line == '+set _expansion=' ]] && unset EXPANSION
            continue
        fi
        E='^' S='&' OFF=
        matrix_apply "$line"
        matrix_told
        restore=
        [ "$E" = '^' ] || restore+=' /e^'
        [ "$S" = '&' ] || restore+=' /c&'
        [ -z "$OFF" ] || restore+=' /x0'
        # The label names a backslash in words: the Windows runs show "\" as "/".
        label=${line//\\/(backslash)}
        printf '%s\n' "echo === $label" 'unsetarray /q list' "setdos $line"
        matrix_type "vesk $args" && printf '\n' || return 1
        printf '%s\n' 'echo result %_? stored %_vesk'
        if [ -n "$restore" ]; then
            matrix_type "setdos$restore" && printf '\n' || return 1
        fi
        printf '%s\n' 'setdos /x-45678'
        if matrix_refuses_all; then
            for ((r = 0; r < ${#names[@]}; r++)); do
                matrix_check "$label" $r 0 "${absent[r]}" 'no array'
            done
            matrix_check "$label" 0 1 "${absent[r]}" 'no array'
            matrix_check "$label" 0 2 "${absent[r + 1]}" 'no array'
        else
            r=0
            for ((k = 0; k < ${#names[@]}; k++)); do
                matrix_refuses_row "${names[k]}" && continue
                matrix_check "$label" $r 0 "${codes[k]}" "[${names[k]}]"
                matrix_check "$label" $r 1 "${sizeCodes[k]}" "[${sizes[k]}]"
                matrix_check "$label" $r 2 "$stampCodes" "[$stamp]"
                r=$((r + 1))
            done
            for ((; r < ${#names[@]}; r++)); do matrix_check "$label" $r 0 - 'no row'; done
        fi
        printf '%s\n' "%show[%@wild[%@ascii[%pwned],]] $label: a name ran pwn.btm" \
            'set pwned=' 'setdos /x0'
    done >&3
    exec 3>&-
}

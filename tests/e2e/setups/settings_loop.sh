# Sourced by a case's setup, after sized_names: settings_matrix ROWS ARGS writes
# matrix.btm, which the case calls from sub/. Standard input lists the settings, one a
# line, as the setdos switches that make them from the defaults, typed as under the
# defaults ("/c~ /x-8", "/e^<"); a line beginning with "+" is copied as a command. For
# each setting matrix.btm applies it, runs VESK with ARGS into LIST, shows the result
# and _VESK, restores the defaults, then reads ROWS names back as the README advises a
# batch file to (nested expansion, separators, redirection, quoting and the escape
# character off), a row to a line so that a missing row costs only its own line.
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
    local word c words
    read -ra words <<< "$1"
    for word in "${words[@]}"; do
        case $word in
            /x0) OFF= ;;
            /x-*) OFF=$(printf '%s%s' "$OFF" "${word#/x-}" | fold -w1 | sort -u | tr -d '\n') ;;
            /x+*) OFF=$(printf '%s' "$OFF" | tr -d "${word#/x+}") ;;
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

settings_matrix() {
    local rows=$1 args=$2 line restore i
    printf 'echo PWNED: a name ran pwn.btm\r\nset PWNED=yes\r\n' > sub/pwn.btm
    TZ=UTC touch -d '2024-05-01 12:00:00' sub/pwn.btm
    while IFS= read -r line; do
        [ -n "$line" ] || continue
        if [ "${line:0:1}" = + ]; then
            printf '%s\n' "${line:1}"
            continue
        fi
        E='^' S='&' OFF=
        matrix_apply "$line"
        restore=
        [ "$E" = '^' ] || restore+=' /e^'
        [ "$S" = '&' ] || restore+=' /c&'
        [ -z "$OFF" ] || restore+=' /x0'
        # The heading names a backslash in words: the Windows runs show "\" as "/".
        printf '%s\n' "echo === ${line//\\/(backslash)}" 'unsetarray /q list' "setdos $line"
        matrix_type "vesk $args" && printf '\n' || return 1
        printf '%s\n' 'echo result %_? stored %_vesk'
        if [ -n "$restore" ]; then
            matrix_type "setdos$restore" && printf '\n' || return 1
        fi
        printf '%s\n' 'setdos /x-45678'
        for ((i = 0; i < rows; i++)); do echo "echo [%list[$i,0]]"; done
        printf '%s\n' 'echo [%list[0,1]] [%list[0,2]] ran: [%pwned]' 'setdos /x0'
    done > matrix.btm
}

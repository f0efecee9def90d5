# Sourced by a case's setup, after sized_names: settings_loop ROWS puts beside the files
# in sub/ a pwn.btm that reports any name that runs it, and writes one.btm, which a case
# calls once per setting: its odd arguments are applied with setdos, VESK runs with the
# variable ARGS into LIST and its count and result are shown under that setting, then
# the even arguments restore the defaults and ROWS names are read back as a careful batch
# file reads them (nested expansion off), a row to a line so that a row missing costs only
# its own line. With "_" or "?" as the separator the report line itself is split, as the
# shell splits it.
settings_loop() {
    printf 'echo PWNED: a name ran pwn.btm\r\nset PWNED=yes\r\n' > sub/pwn.btm
    TZ=UTC touch -d '2024-05-01 12:00:00' sub/pwn.btm
    {
        printf '%s\n' 'unsetarray /q list' 'setdos %1 %3 %5' 'vesk %args' 'echo %_vesk %_?' \
            'setdos %2 %4 %6' 'setdos /x-4'
        local i
        for ((i = 0; i < $1; i++)); do echo "echo [%list[$i,0]]"; done
        printf '%s\n' 'echo [%list[0,1]] [%list[0,2]] ran: [%pwned]' 'setdos /x0'
    } > one.btm
}

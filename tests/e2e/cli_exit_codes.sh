#!/bin/sh
# tolvarin.exe as a real process: exit codes of the command line. DISPLAY is unset so
# that any message box returns at once instead of waiting for a click.
bin=$1
unset DISPLAY
failures=0
expect() {
    want=$1; shift
    wine "$bin/tolvarin.exe" "$@" >/dev/null 2>&1
    got=$?
    if [ "$got" = "$want" ]; then echo "ok: tolvarin.exe $* -> $got"
    else echo "FAIL: tolvarin.exe $* -> $got, expected $want"; failures=$((failures + 1)); fi
}
expect 1 /x
expect 1 /i
expect 0 /u '*'
exit $failures

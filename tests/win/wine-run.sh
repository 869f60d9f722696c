#!/bin/sh
# Runs one Windows test program under Wine for CTest and passes its output on once it has ended.
#
#   wine-run.sh WINE PROGRAM [ARGS...]
#
# CTest counts a test as running until its output pipes close, not until its program ends. Under Wine a
# program's children inherit its standard error as a Unix file even when they are given a console of their
# own, and anything of theirs that outlived the program would keep CTest waiting. Here only this script holds
# CTest's pipes, and it ends with the program.
#
# A test program always prints before it tests anything. One that fails having printed nothing at all never
# ran: Wine could not start it (seen once in a suite, in 0.04 s). That start is tried once more, and said so.
out=$(mktemp) || exit 125
"$@" > "$out" 2>&1
status=$?
if [ $status -ne 0 ] && [ ! -s "$out" ]; then
    echo "wine-run.sh: $2 ended with status $status before printing anything; starting it once more"
    "$@" > "$out" 2>&1
    status=$?
fi
cat "$out"
rm -f "$out"
exit $status

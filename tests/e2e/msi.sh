#!/bin/sh
# The Windows Installer package in a fresh Wine prefix of its own: a silent installation,
# a newer version replacing it, and a silent removal. $1: the source tree, $2: the build.
src=$1
build=$2
failures=0
check() {
    if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
export WINEPREFIX="$build/msi-wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
unset DISPLAY
rm -rf "$WINEPREFIX" "$build/msi"
mkdir -p "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
wineserver --wait
(cd "$src" && scripts/msi 1.0.0 "$build/msi/old.msi" && scripts/msi 1.0.1 "$build/msi/new.msi") ||
    exit 1
program="$WINEPREFIX/drive_c/Program Files/Tolvarin"
entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
        tr -d '\r' | grep -A1 'DisplayName    REG_SZ    Tolvarin$' | grep -o 'DisplayVersion.*' | tr -s ' ' |
        tr '\n' ';'
}
msiexec() { wine msiexec "$@" >/dev/null 2>&1; }

check "msiexec /i old.msi /qn" "msiexec /i 'Z:$build/msi/old.msi' /qn"
check "the program, its library, checker, help and sample" \
    "[ -f '$program/tolvarin.exe' ] && [ -f '$program/Plixa.dll' ] && [ -f '$program/pxfcheck.exe' ] && [ -f '$program/help/index.html' ] && [ -f '$program/sample/setup.pxf' ]"
check "a Start menu shortcut" "find '$WINEPREFIX/drive_c' -name Tolvarin.lnk | grep -q ."
check "one entry, version 1.0.0" "[ \"\$(entries)\" = 'DisplayVersion REG_SZ 1.0.0;' ]"
check "msiexec /i new.msi /qn replaces it" "msiexec /i 'Z:$build/msi/new.msi' /qn"
check "one entry, version 1.0.1" "[ \"\$(entries)\" = 'DisplayVersion REG_SZ 1.0.1;' ]"
# Its exit code, seen here cut to 8 bits, is in its log whole.
check "the installed program runs quietly" \
    "wine '$program/tolvarin.exe' /q /l 'C:\\quiet.log' /u NoSuchDevice >/dev/null 2>&1; grep -q 'exit code 1605' '$WINEPREFIX/drive_c/quiet.log'"
check "msiexec /x new.msi /qn" "msiexec /x 'Z:$build/msi/new.msi' /qn"
check "nothing left" "[ ! -e '$program/tolvarin.exe' ] && [ -z \"\$(entries)\" ]"
wineserver -k 2>/dev/null
echo "$failures failed"
exit $failures

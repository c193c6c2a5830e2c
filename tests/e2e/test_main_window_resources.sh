#!/usr/bin/env bash
# What the program file carries: the version record and the application manifest (read through
# the system's own loader), one self-contained file under 1 MB that needs no DLL but the system's.
# Both programs import only the system's known DLLs, which Windows takes from the system folder
# whatever the search: any other import would be looked for beside the program first, before the
# program could say otherwise.
source "$(dirname "$0")/lib.sh" "$1"

resources=$(drv resources "$E2E_EXE") || e2e_fail "cannot read the resources of $E2E_EXE"
expect_field() { # name value
    local line
    line=$(printf '%s\n' "$resources" | awk -F'\t' -v name="$1" '$1 == name { print $2; exit }')
    [ "$line" = "$2" ] || e2e_fail "version record: $1 is '$line', expected '$2'"
}
expect_field 'FileVersion(numeric)' 1.0.0.6
expect_field Comments Runsweep
expect_field CompanyName Quorvane
expect_field FileDescription Runsweep
expect_field ProductName 'Runsweep 1.06'
expect_field FileVersion 1.00.0006
expect_field ProductVersion 1.00.0006
expect_field InternalName Runsweep
expect_field OriginalFilename Runsweep.exe

manifest=$(printf '%s\n' "$resources" | sed -n '/^Manifest$/,$p')
for needle in 'name="Runsweep" version="5.1.0.0" processorArchitecture="amd64"' '<description>Runsweep</description>' \
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' 'PerMonitorV2' \
    'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' 'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"'; do
    e2e_lines "$manifest" | grep -qF "$needle" || e2e_fail "the manifest lacks: $needle"
done
# runsweepc too names the systems it was made for (Windows 10 and 11, 7), and asks for no elevation.
console=$(drv resources "$(dirname "$E2E_EXE")/runsweepc.exe" | sed -n '/^Manifest$/,$p')
for needle in 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' 'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"' \
    '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'; do
    e2e_lines "$console" | grep -qF "$needle" || e2e_fail "runsweepc's manifest lacks: $needle"
done

size=$(stat -c %s "$E2E_EXE")
[ "$size" -lt 1048576 ] || e2e_fail "Runsweep.exe is $size bytes, more than 1 MB"

if e2e_need x86_64-w64-mingw32-objdump "the DLLs the programs import"; then
    known='^(ADVAPI32|GDI32|KERNEL32|msvcrt|USER32)\.dll$'
    for exe in "$E2E_EXE" "$(dirname "$E2E_EXE")/runsweepc.exe"; do
        while read -r dll; do
            e2e_lines "$dll" | grep -qiE "$known" ||
                e2e_fail "$(basename "$exe") imports $dll, which is looked for beside the program first"
        done < <(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }')
    done
fi

e2e_done

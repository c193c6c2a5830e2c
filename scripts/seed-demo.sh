#!/usr/bin/env bash
# Seeds the current Wine prefix ($WINEPREFIX, or Wine's default) with startup entries a typical
# machine of the time carried: eight that the catalogue knows, in the per-user and the per-machine
# Run key (one in both), and two it does not know, which Runsweep must leave alone.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}

run='Software\Microsoft\Windows\CurrentVersion\Run'
seed() { # hive name command
    wine reg add "$1\\$run" /v "$2" /t REG_SZ /d "$3" /f >/dev/null
}

seed HKLM qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
seed HKLM SunJavaUpdateSched '"C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe"'
seed HKLM 'Adobe Reader Speed Launch' '"C:\Program Files\Adobe\Reader 8.0\Reader\reader_sl.exe"'
seed HKLM NeroCheck 'C:\WINDOWS\system32\NeroCheck.exe'
seed HKLM 'iTunes Helper' '"C:\Program Files\iTunes\iTunesHelper.exe"'
seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
seed HKCU MsnMsgr '"C:\Program Files\MSN Messenger\MsnMsgr.Exe" /background'
seed HKCU RealTray 'C:\Program Files\Real\RealPlayer\RealPlay.exe SYSTEMBOOTHIDEPLAYER'
seed HKLM RealTray 'C:\Program Files\Real\RealPlayer\RealPlay.exe SYSTEMBOOTHIDEPLAYER'
# Not in the catalogue: never listed.
seed HKLM 'Antivirus Guard' '"C:\Program Files\Guard\guard.exe" /tray'
seed HKCU 'Backup Agent' 'C:\Program Files\Backup\agent.exe'
echo "seed-demo: 8 known entries and 2 unknown ones in ${WINEPREFIX:-~/.wine}"

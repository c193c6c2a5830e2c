#!/usr/bin/env bash
# A Windows 11 machine of today, its Run keys as a public FRST log showed them: the list holds
# exactly the optional programs, each with the description of today's programs, the Edge launcher
# under its real per-install name; "Continue" with the defaults disables exactly those (records
# under the real value names) and leaves Windows Security, the audio driver's service, OneDrive and
# an unknown program byte for byte. RUNSWEEP_SCREENSHOTS=folder keeps a screenshot of the list.
source "$(dirname "$0")/lib.sh" "$1"

shots=${RUNSWEEP_SCREENSHOTS:-}
edge='MicrosoftEdgeAutoLaunch_ACDE7569BB2BA61E559D6A3A787F9FA6'
edge_cmd='"C:\Program Files (x86)\Microsoft\Edge\Application\msedge.exe" --no-startup-window --win-session-start'
steam_cmd='"C:\Program Files (x86)\Steam\steam.exe" -silent'
discord_cmd='C:\Users\Thomas\AppData\Local\Discord\Update.exe --processStart Discord.exe'
spotify_cmd='"C:\Users\Thomas\AppData\Roaming\Spotify\Spotify.exe" --autostart --minimized'
security_cmd='%windir%\system32\SecurityHealthSystray.exe'
audio_cmd='"C:\WINDOWS\System32\DriverStore\FileRepository\realtekservice.inf_amd64_cfe2ca03fab15f4c\RtkAudUService64.exe" -background'
onedrive_cmd='"C:\Users\Thomas\AppData\Local\Microsoft\OneDrive\OneDrive.exe" /background'
unknown_cmd='"C:\Program Files\Contoso\Helper\helper.exe" --tray'

e2e_reset_registry
e2e_seed HKLM SecurityHealth "$security_cmd"
e2e_seed HKLM RtkAudUService "$audio_cmd"
e2e_seed HKCU "$edge" "$edge_cmd"
e2e_seed HKCU Discord "$discord_cmd"
e2e_seed HKCU OneDrive "$onedrive_cmd"
e2e_seed HKCU Spotify "$spotify_cmd"
e2e_seed HKCU 'Contoso Helper' "$unknown_cmd"
e2e_seed HKCU Steam "$steam_cmd"

e2e_start
controls=$(e2e_controls)
rows=$(printf '%s\n' "$controls" |
    awk -F'\t' -v edge="$edge" '$7 == edge || $7 ~ /^(Steam|Discord|Spotify|SecurityHealth|RtkAudUService|OneDrive|Contoso Helper)$/ { print $7 }' |
    tr '\n' '|')
# Catalogue order: the browser launchers come first in today's table, then games, chat and music.
[ "$rows" = "$edge|Steam|Discord|Spotify|" ] || e2e_fail "rows: $rows"
for description in \
    'Microsoft Edge started in the background at sign-in so that it opens faster later. Not required: Edge starts when you open it.' \
    "Steam: Valve's game store and launcher. Starting with Windows keeps it signed in and updating games. Not required: start Steam when you want to play." \
    'Discord chat and voice app started at sign-in. Not required: start Discord when you want to chat.' \
    'Spotify music app started at sign-in. Not required: start Spotify when you want music.'; do
    e2e_control "$description" "$controls" | grep -q . || e2e_fail "description missing: $description"
done
if [ -n "$shots" ]; then
    e2e_screenshot_window "$shots/list-today.png"
fi

e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit

e2e_expect_absent HKCU "$edge"
e2e_expect_absent HKCU Steam
e2e_expect_absent HKCU Discord
e2e_expect_absent HKCU Spotify
e2e_expect_record "$edge" "$edge_cmd" HKCU
e2e_expect_record Steam "$steam_cmd" HKCU
e2e_expect_record Discord "$discord_cmd" HKCU
e2e_expect_record Spotify "$spotify_cmd" HKCU
for kept in "HKLM|SecurityHealth|$security_cmd" "HKLM|RtkAudUService|$audio_cmd" "HKCU|OneDrive|$onedrive_cmd" \
    "HKCU|Contoso Helper|$unknown_cmd"; do
    IFS='|' read -r hive name command <<<"$kept"
    actual=$(e2e_reg_value "$(e2e_run_key "$hive")" "$name") || e2e_fail "$name is gone from the $hive Run key"
    [ "$actual" = "$command" ] || e2e_fail "$name changed: '$actual'"
    e2e_expect_no_record "$name"
done

e2e_done

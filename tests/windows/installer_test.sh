#!/usr/bin/env bash
# VesiclarSetup.exe /S under Wine: Vesiclar.scr lands in the 64-bit system folder, Add/Remove
# Programs has its entry, the licences of the libraries linked into the screensaver lie beside the
# uninstaller, and Vesiclar becomes the active screensaver; the uninstaller's /S takes
# all of that away again but keeps the user's settings, and leaves a screensaver the user chose
# after the install alone. Installing again keeps the folder chosen with /D, and replaces or
# removes a Vesiclar.scr that is running without a later restart deleting the new one.
#
#   installer_test.sh SESSION_STATE SETUP_EXE VESICLAR_SCR VERSION
set -uo pipefail
state=$1
setup=$2
scr=$3
version=$4
. "$state/env"
drive_c=$WINEPREFIX/drive_c
installed=$drive_c/windows/system32/Vesiclar.scr
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vesiclar'
desktop_key='HKCU\Control Panel\Desktop'
settings_key='HKCU\Software\Quorvane\Vesiclar'
. "$(dirname "$0")/checks.sh"
value() {  # key name: the value's data, or nothing when it is missing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { sub(/^ *[^ ]+ +[^ ]+ +/, ""); print; exit }'
}
value_is() { [ "$(value "$1" "$2")" = "$3" ]; }
missing() { ! wine reg query "$1" /v "$2" >/dev/null 2>&1; }
key_missing() { ! wine reg query "$1" >/dev/null 2>&1; }
text_value() {  # key name: a text value as it is (reg query writes it in the OEM code page)
  local file=$state/value.reg
  wine reg export "$1" "$(winepath -w "$file")" /y >/dev/null 2>&1 || return
  iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | sed -n "s/^\"$2\"=\"\(.*\)\"\$/\1/p" |
    sed 's/\\\\/\\/g; s/\\"/"/g'
  rm -f "$file"
}
uninstaller() { winepath -u "$(text_value "$uninstall_key" UninstallString | tr -d '"')"; }
notices_name_each_library() {  # the licences the linked libraries ask binaries to carry
  local notices
  notices="$(dirname "$(uninstaller)")/Third-party notices.txt"
  grep -q 'based in part on the work of the Independent JPEG Group' "$notices" &&
    grep -q 'libjpeg-turbo Project' "$notices" && grep -q 'Xiph.org Foundation' "$notices" &&
    grep -q 'Lockless Inc' "$notices" && grep -q 'mingw-w64 project' "$notices"
}
install() {
  local started=$(date +%s%N)
  wine "$setup" /S || return 1
  echo "   installed in $((($(date +%s%N) - started) / 1000000)) ms"
}
# The uninstaller runs on from a copy of itself in the temporary folder, so its own process ends
# before the work is done: wait (up to 30 s) until the uninstaller itself is gone, and then its
# Add/Remove Programs entry, which goes after the folder.
uninstall() {
  local program started=$(date +%s%N)
  program=$(uninstaller)
  wine "$program" /S || return 1
  for _ in $(seq 300); do
    if [ ! -e "$program" ] && key_missing "$uninstall_key"; then
      echo "   uninstalled in $((($(date +%s%N) - started) / 1000000)) ms"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# ---- 1: a silent install and uninstall; the user's settings stay -------------------------------
check "the silent install ends with exit code 0" install
check "Vesiclar.scr is in the 64-bit system folder, as built" cmp -s "$scr" "$installed"
check "nothing went to the 32-bit system folder" test ! -e "$drive_c/windows/syswow64/Vesiclar.scr"
check "the entry is named Vesiclar" value_is "$uninstall_key" DisplayName Vesiclar
check "the entry has the version" value_is "$uninstall_key" DisplayVersion "$version"
check "the entry has the publisher" value_is "$uninstall_key" Publisher Quorvane
check "the entry's icon is the screensaver's" value_is "$uninstall_key" DisplayIcon 'C:\windows\system32\Vesiclar.scr,0'
check "the entry's uninstaller is there" test -f "$(uninstaller)"
check "the quiet uninstall is the uninstaller with /S" \
  value_is "$uninstall_key" QuietUninstallString "$(value "$uninstall_key" UninstallString) /S"
check "Vesiclar is the active screensaver" value_is "$desktop_key" SCRNSAVE.EXE 'C:\windows\system32\Vesiclar.scr'
check "the screensaver is switched on" value_is "$desktop_key" ScreenSaveActive 1
check "the third-party notices name each linked library's licence" notices_name_each_library

wine reg add "$settings_key" /v InstallerTest /t REG_DWORD /d 7 /f >/dev/null 2>&1
install_folder=$(dirname "$(uninstaller)")
check "the silent uninstall ends" uninstall
check "Vesiclar.scr is gone" test ! -e "$installed"
check "the uninstaller's folder is gone" test ! -e "$install_folder"
check "the Add/Remove Programs entry is gone" key_missing "$uninstall_key"
check "Vesiclar is no longer the active screensaver" missing "$desktop_key" SCRNSAVE.EXE
check "the user's settings are kept" value_is "$settings_key" InstallerTest 0x7
wine reg delete "$settings_key" /v InstallerTest /f >/dev/null 2>&1

# ---- 2: another screensaver chosen since the install stays the active one ---------------------
check "the second install ends with exit code 0" install
wine reg add "$desktop_key" /v SCRNSAVE.EXE /d 'C:\windows\system32\Other.scr' /f >/dev/null 2>&1
check "the second uninstall ends" uninstall
check "the screensaver chosen since is still active" value_is "$desktop_key" SCRNSAVE.EXE 'C:\windows\system32\Other.scr'
check "Vesiclar.scr is gone again" test ! -e "$installed"
wine reg delete "$desktop_key" /v SCRNSAVE.EXE /f >/dev/null 2>&1

# ---- 3: a folder of the user's choosing (/D) is kept when installing again -------------------
# /D has to reach the setup unquoted, as a Windows command line gives it.
custom='C:\Program Files\Vésiclar Ünï test'
check "the install into a folder of one's own ends" \
  wine cmd /c "$(winepath -w "$setup") /S /D=$custom" >/dev/null 2>&1
check "the uninstaller is in that folder" test -f "$(winepath -u "$custom")/Uninstall Vesiclar.exe"
check "installing again (no /D) ends" install
check "the entry still names that folder" \
  test "$(dirname "$(uninstaller)")" = "$(winepath -u "$custom")"
check "no second folder for the uninstaller" test ! -e "$drive_c/Program Files/Vesiclar"
check "the uninstall from there ends" uninstall
check "that folder is gone" test ! -e "$(winepath -u "$custom")"

# ---- 4: a running Vesiclar.scr (its settings dialog here) is replaced, then removed -----------
pending() {  # the deletions and renames queued for the next restart, one path a line
  value 'HKLM\System\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations |
    sed 's/\\0/\n/g' | sed '/^$/d'
}
queued_for_restart() { pending | grep -qixF '\??\C:\windows\system32\Vesiclar.scr'; }
check "the third install ends" install
wine "$installed" /c >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^Vesiclar Configuration$' >/dev/null 2>&1 && break
  sleep 0.2
done
check "the settings dialog of the installed Vesiclar.scr is open" kill -0 "$holder"
held=$(stat -c %i "$installed")
check "installing over the running screensaver ends" install
check "a new Vesiclar.scr stands in the place of the running one" \
  test "$(stat -c %i "$installed")" != "$held"
check "the new Vesiclar.scr is as built" cmp -s "$scr" "$installed"
check "the new Vesiclar.scr is not deleted at the next restart" eval '! queued_for_restart'
check "uninstalling while it runs ends" uninstall
check "the running Vesiclar.scr is out of the Screen Saver list" test ! -e "$installed"
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
check "installing again before the restart ends" install
check "that Vesiclar.scr is not deleted at the next restart" eval '! queued_for_restart'
check "the last uninstall ends" uninstall

echo "$failures failed"
[ "$failures" -eq 0 ]

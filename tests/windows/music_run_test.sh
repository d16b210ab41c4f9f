#!/usr/bin/env bash
# Vesiclar.scr /s with music under Wine: the carried audio library (resource "BASS" 128) is
# written to a "bas….tmp" file in the user's temporary folder, loaded, its nine entry points
# resolved and its output started; the music's samples reach the sound device, and the copy is
# gone once the run has ended, even when the session ends under it. Wine's audio goes through
# ALSA, whose default device here is a file (an ALSA configuration in the run's HOME), so the test
# hears what Wine played. Without a sound device the library fails to start, and without a temporary
# folder it cannot be copied out; either way the run goes on silent.
#
#   music_run_test.sh SESSION_STATE VESICLAR_SCR
set -uo pipefail
state=$1
scr=$2
. "$state/env"
. "$(dirname "$0")/checks.sh"
work=$state/music_run_test
rm -rf "$work"
mkdir -p "$work/home"
key='HKCU\Software\Quorvane\Vesiclar'
temp=$(wine_temp)
log=$temp/log.txt
played=$work/played.raw
cat >"$work/home/.asoundrc" <<ALSA
pcm.!default {
  type file
  slave.pcm "null"
  file "$played"
  format "raw"
}
ALSA
drivers='HKCU\Software\Wine\Drivers'
wine reg add "$drivers" /v Audio /d alsa /f >/dev/null 2>&1
trap 'wine reg delete "$drivers" /v Audio /f >/dev/null 2>&1' EXIT
for value in EnableMusic:1 Volume:100 UseDesktop:1 DefGamma:1; do
  wine reg add "$key" /v "${value%%:*}" /t REG_DWORD /d "${value#*:}" /f >/dev/null 2>&1
done

run_with_music() {  # the run with this test's sound device; the pid is in $run
  rm -f "$played"
  start_run "$scr" "$log" "$work/run.out" HOME="$work/home"
}
has() {  # the log holds this text (line ends as "\n")
  local text
  text=$(tr -d '\r' <"$log")
  [[ $text == *"$1"* ]]
}
lacks() { ! has "$1"; }
copies() { find "$temp" -maxdepth 1 -iname 'bas*' | wc -l; }
no_copy_left() { [ "$(copies)" -eq 0 ]; }
one_copy() { [ "$(copies)" -eq 1 ] && find "$temp" -maxdepth 1 -iname 'bas*.tmp' | grep -q .; }
every_entry_point() {
  local name
  for name in ErrorGetCode Init Free StreamCreateFile StreamPlay SetVolume Start Stop GetVolume; do
    has "Load BASS function <BASS_$name> ...done" || { echo "   no line for BASS_$name"; return 1; }
  done
}
wait_played() {  # bytes: up to 60 s for the device to have taken that much
  for _ in $(seq 300); do
    [ "$(stat -c %s "$played" 2>/dev/null || echo 0)" -ge "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
not_silence() {  # a second of the music, well away from zero (16-bit stereo as the run asked)
  local level
  level=$(tail -c 176400 "$played" | od -An -v -td2 -w2 | awk '{s += $1 * $1; n++} END {if (n) printf "%d", sqrt(s / n)}')
  echo "   signal level $level (RMS of 16-bit samples)"
  [ "${level:-0}" -gt 500 ]
}

started=$(date +%s%N)

# ---- 1: music on, ended by a key -------------------------------------------------------------
run_with_music
check "the library's copy is a bas….tmp file in the temporary folder while it runs" one_copy
check "the nine entry points were resolved" every_entry_point
check "the output started" has "Initialize BASS...done"
check "the music plays" has "Open music file...done"$'\n'"Play music...done"
check "the device took three seconds of sound" wait_played $((3 * 176400))
check "what it played is the music, not silence" not_silence
xdotool key space
check "a key ends the run" ended "$run"
check "\"EXIT\" is the log's last text" test "$(tail -c 4 "$log")" = EXIT
check "no copy of the library is left" no_copy_left

# ---- 2: no sound device: the library cannot start, the run goes on silent ------------------------
wine reg add "$drivers" /v Audio /d "" /f >/dev/null 2>&1
run_with_music
check "without a device the output does not start" has "Initialize BASS...""............... Initialize OpenGL"
check "the run goes on to the main loop and plays nothing" lacks "Play music...done"
xdotool mousedown 1 mouseup 1
check "a click ends the silent run" ended "$run"
check "no copy of the library is left after it either" no_copy_left

# ---- 3: the temporary folder is not there: no copy, no log, and the run goes on silent --------
missing='C:\users\Public\no such folder'
wine cmd /c "set TEMP=$missing&& set TMP=$missing&& $(winepath -w "$scr") /s" >"$work/run.out" 2>&1 &
run=$!
stays_up() { sleep 6; kill -0 "$run" 2>/dev/null; }
check "without a temporary folder the run stays up" stays_up
xdotool key space
check "a key ends that run" ended "$run"
check "it left no copy of the library" no_copy_left

# ---- 4: the session ends (log-off, shutdown) during a run with music ---------------------------
# The system may end the process as soon as the run's window has answered WM_ENDSESSION, and
# Wine's end of session does just that, to every program of this session: this part comes last.
wine reg add "$drivers" /v Audio /d alsa /f >/dev/null 2>&1
run_with_music
check "the copy is there while it plays" one_copy
wineboot --end-session --force --shutdown >/dev/null 2>&1
wait "$run"
check "no copy of the library outlives the session" no_copy_left

echo "   music test took $((($(date +%s%N) - started) / 1000000)) ms"
finish

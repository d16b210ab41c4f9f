#!/usr/bin/env bash
# The audio library's waveOut tests (audio_output_tests.exe) in the Wine session, with Wine's audio
# going through ALSA to a device that takes every sample and keeps none.
#
#   audio_output_test.sh SESSION_STATE AUDIO_OUTPUT_TESTS_EXE
set -uo pipefail
state=$1
exe=$2
. "$state/env"
work=$state/audio_output_test
rm -rf "$work"
mkdir -p "$work/home"
cat >"$work/home/.asoundrc" <<ALSA
pcm.!default {
  type null
}
ALSA
drivers='HKCU\Software\Wine\Drivers'
wine reg add "$drivers" /v Audio /d alsa /f >/dev/null 2>&1
trap 'wine reg delete "$drivers" /v Audio /f >/dev/null 2>&1' EXIT
HOME="$work/home" wine "$exe" --gtest_brief=1

#!/usr/bin/env bash
# Drives the installed program as a user would, under Xvfb with synthetic
# input: load the samples (answer No), play, move tempo and pitch, stop,
# Play and Record for two seconds, stop, quit. Then checks that the
# recording exists and decodes to about the recorded length.
#
# Usage: desktop-e2e.sh [program] [artefact-dir]
# The program defaults to the installed /usr/bin/lentaro. SDL's dummy
# driver stands in for speakers, so no sound device is needed.
set -euo pipefail

program=${1:-/usr/bin/lentaro}
artefacts=${2:-$PWD/e2e-artefacts}
mkdir -p "$artefacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config
export XDG_RUNTIME_DIR=$work/run
export SDL_AUDIODRIVER=dummy
export QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_CONFIG_HOME/Orvessa" "$XDG_RUNTIME_DIR" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"
# The output folder as a returning user left it.
printf '[General]\nPath=%s/\n' "$work/out" >"$XDG_CONFIG_HOME/Orvessa/Lentaro.conf"

fail() {
  echo "e2e: FAILED: $*" >&2
  exit 1
}

run_session() {
  "$program" >"$work/program.log" 2>&1 &
  local pid=$!
  local win
  win=$(timeout 20 xdotool search --sync --name '^Lentaro$' | head -n 1) || fail "no main window"
  sleep 1

  # Positions are the controls' centres in their 536 x 657 area, which lies
  # between the menu bar and the status line; the two bars are equally tall.
  local HEIGHT top
  eval "$(xdotool getwindowgeometry --shell "$win" | grep '^HEIGHT=')"
  top=$(((HEIGHT - 657) / 2))
  click() { xdotool mousemove --window "$win" "$1" $(($2 + top)) click 1; sleep "${3:-0.4}"; }
  shot() { import -window root "$artefacts/$1.png"; }

  click 400 231 1                 # Load Sample/Example Files
  xdotool key Escape; sleep 0.5   # "Would you like ... open the folder": No
  shot 01-samples
  click 268 265 1                 # Play
  for _ in 1 2 3 4; do click 100 412 0.2; done  # Tempo: four page steps down
  for _ in 1 2; do click 450 344 0.2; done      # Pitch: two page steps up
  sleep 1
  shot 02-playing
  click 268 265                   # Stop
  click 268 299                   # Play and Record
  local started ended
  started=$(date +%s.%N)
  sleep 2
  shot 03-recording
  click 268 299                   # Stop
  ended=$(date +%s.%N)
  shot 04-stopped
  kill -TERM "$pid"               # quit: the window closes as on a logout
  timeout 20 tail --pid="$pid" -f /dev/null || fail "program did not quit"
  wait "$pid" || true
  echo "$started $ended"
}

read -r started ended < <(run_session)
recorded=$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.2f", b - a }')

shopt -s nullglob
files=("$work"/out/*_recorded.mp3)
((${#files[@]} == 1)) || { cat "$work/program.log" >&2; fail "expected one recording, found ${#files[@]}"; }
cp "${files[0]}" "$artefacts/"
length=$(sox --i -D "${files[0]}") || fail "the recording does not decode"
echo "e2e: recorded ${files[0]##*/}: $length s of audio for $recorded s of recording"
awk -v l="$length" -v r="$recorded" 'BEGIN { d = l - r; if (d < 0) d = -d; exit !(l > 0.5 && d < 0.75) }' ||
  fail "recording length $length s does not match $recorded s"
echo "e2e: the desktop run passed"

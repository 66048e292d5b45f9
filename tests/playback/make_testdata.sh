#!/bin/sh
# Makes the playback test files in the folder given: sine tones of known
# frequency and length, a 3-minute file, a file of 1 h 2 min 5 s, one of
# over nine hours (past the 32767-second mark) and a text file named .mp3.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
tone() { # name seconds frequency rate channels bitrate
  sox -n -r "$4" -c "$5" -b 16 -t wav - synth "$2" sine "$3" vol 0.5 2>/dev/null |
    lame --quiet -b "$6" - "$1"
}
tone tone440.mp3 6 440 44100 2 128
tone tone660.mp3 4 660 44100 2 128
tone song180.mp3 180 440 22050 1 32
# Without the Info tag, so that copies of it can be joined into one stream
# whose length only a scan of the frames can tell.
sox -n -r 8000 -c 1 -b 16 -t wav - synth 3725 sine 440 vol 0.5 2>/dev/null |
  lame --quiet -t -b 8 -m m - hour.mp3
cat hour.mp3 hour.mp3 hour.mp3 hour.mp3 hour.mp3 hour.mp3 hour.mp3 hour.mp3 hour.mp3 \
  >ninehours.mp3
printf 'These are notes, not music.\nA text file given an MP3 name.\n' >notes.mp3

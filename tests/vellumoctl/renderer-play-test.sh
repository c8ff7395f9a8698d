#!/usr/bin/env bash
# vellumoctl play --renderer as a user runs it, against a real renderer in a
# network namespace of its own (over a veth pair): a song fetched whole
# from the media server and played, the controls reaching the renderer (its
# own answers say so), the next song following by itself, the end told.
#
#   renderer-play-test.sh VELLUMOCTL
#
# Runs inside a private network as root.
set -euo pipefail
vellumoctl=$1
here=$(cd "$(dirname "$0")" && pwd)
support="$here/../support/renderer"
work=$(mktemp -d /tmp/vellumo-renderer-play.XXXXXX)
renderer=""
player=""
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  [ -n "$renderer" ] && kill "$renderer" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- vellumoctl said:" >&2
  cat "$work/out" >&2 || true
  echo "--- trace:" >&2
  tail -40 "$work/trace" >&2 || true
  exit 1
}

# Waits up to 30 s for a command's output to hold a text.
wait_for() {
  local text=$1
  shift
  for _ in $(seq 150); do
    "$@" 2>/dev/null | grep -q -- "$text" && return 0
    sleep 0.2
  done
  fail "no '$text' from: $*"
}

python3 - "$work" <<'PY'
import math, struct, sys, wave
for name, seconds in (("first", 8), ("second", 2), ("long", 60)):
    w = wave.open("%s/%s.wav" % (sys.argv[1], name), "wb")
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
    w.writeframes(b"".join(struct.pack("<h", int(3000 * math.sin(i / 8.0)))
                           for i in range(8000 * seconds)))
    w.close()
PY

# The renderer runs while its standard input stays open.
mkfifo "$work/renderer.in"
exec 4<>"$work/renderer.in"
"$support/run-renderer.sh" --net 31 <"$work/renderer.in" >"$work/renderer.out" 2>&1 &
renderer=$!
wait_for LOCATION cat "$work/renderer.out"
location=$(sed -n 's/^LOCATION //p' "$work/renderer.out")
ask() { "$support/ask-renderer.py" "$location" "$1"; }

mkfifo "$work/in"
VELLUMO_TRACE=1 "$vellumoctl" play --renderer "$location" "$work/first.wav" "$work/second.wav" \
  <"$work/in" >"$work/out" 2>"$work/trace" &
player=$!
exec 3>"$work/in"
say() { echo "$1" >&3; }

wait_for "audio: now playing 1/2" cat "$work/out"
wait_for "CurrentTransportState=PLAYING" ask GetTransportInfo
say pause
wait_for "CurrentTransportState=PAUSED_PLAYBACK" ask GetTransportInfo
wait_for "audio: paused" cat "$work/out"
say resume
wait_for "CurrentTransportState=PLAYING" ask GetTransportInfo
say "vol 30"
wait_for "CurrentVolume=30" ask GetVolume
wait_for "audio: volume 30/100" cat "$work/out"
say "seek 5"
wait_for "RelTime=0:00:0[5-8]" ask GetPositionInfo
wait_for "audio: time [5-8]/8" cat "$work/out"

# The second song follows the first by itself, and the end is told.
wait_for "audio: now playing 2/2" cat "$work/out"
wait_for "closed, still playing 0x0" cat "$work/out"
exec 3>&-
wait "$player" || fail "vellumoctl ended with $?"
player=""

# Quitting while it plays stops the renderer too, long before the song ends.
VELLUMO_TRACE=1 "$vellumoctl" play --renderer "$location" "$work/long.wav" \
  <"$work/in" >"$work/out" 2>>"$work/trace" &
player=$!
exec 3>"$work/in"
wait_for "CurrentTransportState=PLAYING" ask GetTransportInfo
say quit
wait "$player" || fail "vellumoctl ended with $? on quit"
player=""
wait_for "CurrentTransportState=STOPPED" ask GetTransportInfo

# Each song was fetched whole from the media server.
for song in first second; do
  size=$(stat -c %s "$work/$song.wav")
  grep -q "GET /media/[0-9a-f]*\.wav -> 20[06], $size bytes sent" "$work/trace" ||
    fail "$song.wav ($size bytes) was not fetched whole"
done
echo "PASS"

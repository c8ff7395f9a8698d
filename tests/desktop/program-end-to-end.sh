#!/usr/bin/env bash
# The program on the desktop, end to end, in a private network and on a
# private session bus: files of the command line play on the simulated Box, a
# second start adds its files to the running instance, and the media keys
# pause and skip. Usage: program-end-to-end.sh VELLUMO BOXSIM
set -euo pipefail
# A network of its own even inside the suite's: other tests announce Boxes
# on loopback meanwhile.
if [ "${VELLUMO_DESKTOP_E2E:-}" != 1 ]; then
  exec unshare -n -- env VELLUMO_IN_PRIVATE_NET=1 VELLUMO_DESKTOP_E2E=1 \
    bash -c 'ip link set lo up multicast on && exec dbus-run-session -- "$0" "$@"' "$0" "$@"
fi
vellumo=$1 boxsim=$2
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/box.log" >&2; exit 1; }
# Waits for a line matching the pattern in the Box's log; the bound turns a
# lost event into a failure.
await() {
  for _ in $(seq 300); do grep -q -- "$1" "$work/box.log" 2>/dev/null && return 0; sleep 0.1; done
  fail "the Box never logged $1"
}
mpris() {
  gdbus call --session --dest org.mpris.MediaPlayer2.vellumo --object-path /org/mpris/MediaPlayer2 "$@"
}

# The running instance's lock, apart from any other test's program.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/media"
# A second of play per megabyte: the long track still plays when the second
# start comes.
for track in first:2 long:20 second:1 third:1; do
  head -c "${track#*:}000000" /dev/urandom >"$work/media/${track%:*}.mp3"
done
"$boxsim" --address 127.0.0.1 --port 7171 --upnp-iface lo --log "$work/box.log" \
  --read-rate 8000000 --rate 1000000 >/dev/null 2>&1 &
pids+=($!)
export QT_QPA_PLATFORM=offscreen
cd "$work/media"
"$vellumo" --iface lo first.mp3 long.mp3 >/dev/null 2>&1 &
pids+=($!)
await '"name":"first.mp3".*"complete":true'
digest=$(sha256sum first.mp3 | cut -d' ' -f1)
grep -q "\"name\":\"first.mp3\".*\"sha256\":\"$digest\"" "$work/box.log" || fail "first.mp3 arrived changed"

"$vellumo" --iface lo second.mp3 "$work/media/third.mp3" missing.mp3 https://box.invalid/x.mp3 ||
  fail "the second start failed"
await '"names":\["first.mp3","long.mp3","second.mp3","third.mp3"\]'

mpris --method org.mpris.MediaPlayer2.Player.PlayPause >/dev/null
await '"byte":"p"'
for _ in $(seq 100); do
  status=$(mpris --method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player PlaybackStatus)
  [ "$status" = "(<'Paused'>,)" ] && break
  sleep 0.1
done
[ "$status" = "(<'Paused'>,)" ] || fail "PlaybackStatus stayed $status"
mpris --method org.mpris.MediaPlayer2.Player.Next >/dev/null
await '"byte":"N"'
echo "PASS"

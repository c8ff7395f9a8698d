#!/usr/bin/env bash
# The main job: the application plays the files you drop on a Box.
#
#   scripts/demo.sh [--cli] [--box ADDR[:PORT]] [PATH...]
#
# A simulated Box (vellumo-boxsim) announces itself on loopback in a private
# network namespace, and the application (vellumo, its search pinned to
# loopback) finds it there and opens its main window: drop files or folders
# from a file manager onto a pool and control what plays in the status
# window. Given PATHs play at once; without them a folder of samples is made
# to drop. Closing the main window ends the demo.
#
# Without a display, with --cli or with --box, the command-line demo runs
# instead: vellumoctl plays the PATHs (the samples without them) on the
# simulated Box, or on the Box at ADDR, and prints what the Box reports.
# Type pause, resume, next, prev, seek T, vol V, mute, repeat R or quit and
# Enter while it plays.
#
# VELLUMO_BUILD_DIR names the build whose programs run (default build/dev,
# which is built when a program is missing).
set -euo pipefail

box=""
cli=0
paths=()
while [ $# -gt 0 ]; do
  case "$1" in
    --box)
      [ $# -ge 2 ] || { echo "usage: $0 [--cli] [--box ADDR[:PORT]] [PATH...]" >&2; exit 2; }
      box="$2"; cli=1; shift 2 ;;
    --cli) cli=1; shift ;;
    *) paths+=("$(realpath "$1")"); shift ;;
  esac
done
# Paths are taken from where the demo was started, the programs from here.
cd "$(dirname "$0")/.."

if [ "$cli" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the command-line demo." >&2
  cli=1
fi
# The private namespace has a loopback of its own: an X server reached over
# TCP (ssh -X gives DISPLAY=localhost:10.0) cannot be reached from it.
display=${DISPLAY:-}
display_host=${display%:*}
if [ "$cli" = 0 ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -n "$display_host" ] &&
  [ "$display_host" != unix ]; then
  echo "The display $DISPLAY is reached over the network, which the demo's private" \
    "network cannot reach: running the command-line demo." >&2
  cli=1
fi

export VELLUMO_BUILD_DIR=${VELLUMO_BUILD_DIR:-build/dev}
programs=(boxsim/vellumo-boxsim vellumoctl/vellumoctl app/vellumo)
for program in "${programs[@]}"; do
  if [ ! -x "$VELLUMO_BUILD_DIR/$program" ] && [ "$VELLUMO_BUILD_DIR" = build/dev ]; then
    scripts/install-deps.sh
    cmake --preset dev >/dev/null
    cmake --build --preset dev --target vellumo-boxsim vellumoctl vellumo
    break
  fi
done

state=$(mktemp -d "${TMPDIR:-/tmp}/vellumo-demo-XXXXXX")
trap 'rm -rf "$state"' EXIT
if [ ${#paths[@]} -eq 0 ]; then
  samples="$state/samples"
  mkdir -p "$samples/Music and photos" "$samples/Videos"
  head -c 1500000 /dev/urandom > "$samples/Music and photos/morning walk.mp3"
  head -c 700000 /dev/urandom > "$samples/Music and photos/evening rain.flac"
  head -c 2500000 /dev/urandom > "$samples/Music and photos/harbour lights.ogg"
  head -c 1500000 /dev/urandom > "$samples/Music and photos/lighthouse.jpg"
  head -c 1200000 /dev/urandom > "$samples/Music and photos/dunes.png"
  head -c 3000000 /dev/urandom > "$samples/Videos/tide.mp4"
fi

if [ "$cli" = 1 ] && [ ${#paths[@]} -eq 0 ]; then
  paths=("$samples/Music and photos")
fi
if [ -n "$box" ]; then
  "$VELLUMO_BUILD_DIR"/vellumoctl/vellumoctl play --box "$box" "${paths[@]}"
  exit
fi

# Inside the namespace: starts the simulated Box with the options given and
# waits until it listens (until then connects are refused). Sets $sim; the
# Box is stopped when the calling shell exits.
start_box() {
  "$VELLUMO_BUILD_DIR"/boxsim/vellumo-boxsim "$@" > "$VELLUMO_DEMO_STATE/box.out" &
  sim=$!
  trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null' EXIT
  for _ in $(seq 50); do
    grep -q '^ready' "$VELLUMO_DEMO_STATE/box.out" && return 0
    sleep 0.1
  done
  echo "The simulated Box did not start." >&2
  return 1
}
export -f start_box
export VELLUMO_DEMO_STATE="$state"

if [ "$cli" = 1 ]; then
  # Real time (1 MB/s; one time unit per 100 kB) so that the controls have
  # something to act on.
  scripts/in-private-net.sh bash -c '
    start_box --rate 100000 --read-rate 1000000 || exit 1
    "$VELLUMO_BUILD_DIR"/vellumoctl/vellumoctl version --box 127.0.0.1
    "$VELLUMO_BUILD_DIR"/vellumoctl/vellumoctl play --box 127.0.0.1 "$@"
  ' bash "${paths[@]}"
  exit
fi

# A vellumo already running holds this lock (CSingleInstanceLock): the
# demo's own would hand it the files and quit at once.
if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
  lock="$XDG_RUNTIME_DIR/ZentharTavoli.lock"
else
  lock="${TMPDIR:-/tmp}/ZentharTavoli-$(id -u).lock"
fi
if [ -e "$lock" ] && ! flock -n "$lock" true; then
  echo "vellumo is already running: close it first, or run the command-line demo (--cli)." >&2
  exit 1
fi

if [ ${#paths[@]} -eq 0 ]; then
  echo "Drop the folder \"$samples/Music and photos\" on the left pool (photos and"
  echo "music), or \"$samples/Videos\" on the right one; close the main window to end."
fi

# What crosses into the private network namespace: the display's filesystem
# sockets (X11's /tmp/.X11-unix/X*, Wayland's socket in $XDG_RUNTIME_DIR) and
# a session bus at a unix:path= address do, since files are not per network
# namespace; abstract sockets do not (X11's client library falls back to the
# filesystem socket by itself; a session bus at an abstract address leaves
# vellumo without its bus services, nothing more). An ordinary user enters the namespace as
# root of a user namespace of its own; the session bus checks the user id a
# client claims against the real one, and the X authority file and the
# runtime directory belong to the user, so vellumo runs there under the
# user's own ids again (a nested user namespace mapping them back). The
# reachability check's ICMP echo socket, not allowed to any group in a new
# namespace, is allowed to the user's group first.
# One time unit per second, read in real time, so that a file plays long
# enough to pause, seek and skip.
VELLUMO_DEMO_UID=$(id -u) VELLUMO_DEMO_GID=$(id -g) scripts/in-private-net.sh bash -c '
  start_box --upnp-iface lo --friendly-name "Vellumo Demo Box" --rate 100000 --read-rate 100000 ||
    exit 1
  app=("$VELLUMO_BUILD_DIR"/app/vellumo --iface lo "$@")
  if [ "$VELLUMO_DEMO_UID" != 0 ]; then
    echo "0 0" > /proc/sys/net/ipv4/ping_group_range
    app=(unshare --map-user="$VELLUMO_DEMO_UID" --map-group="$VELLUMO_DEMO_GID" "${app[@]}")
  fi
  "${app[@]}"
' bash ${paths[@]+"${paths[@]}"}

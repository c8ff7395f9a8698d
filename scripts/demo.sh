#!/usr/bin/env bash
# The main job: the application plays the files you drop on a Box.
#
#   scripts/demo.sh [--cli] [--box ADDR[:PORT]] [--renderer] [PATH...]
#
# A simulated Box (vellumo-boxsim) announces itself on loopback in a private
# network namespace, and the application (vellumo, its search pinned to
# loopback) finds it there and opens its main window: drop files or folders
# from a file manager onto a pool and control what plays in the status
# window. Given PATHs play at once; without them a folder of samples is made
# to drop. Closing the main window ends the demo. A vellumo already running
# says so, takes the PATHs and the demo ends.
#
# Without a display, with --cli or with --box, the command-line demo runs
# instead: vellumoctl plays the PATHs (the samples without them) on the
# simulated Box, or on the Box at ADDR, and prints what the Box reports.
# Type pause, resume, next, prev, seek T, vol V, mute, repeat R or quit and
# Enter while it plays.
#
# --renderer adds a standard network renderer (gmediarender, playing into
# silent sinks in real time) beside the simulated Box, in a namespace of its
# own behind a veth pair: the device list shows both, a Box and a TV or
# speaker; the command-line demo plays on the renderer. Its samples are real
# sound and video, made for it.
#
# VELLUMO_BUILD_DIR names the build whose programs run (default build/dev,
# which is built when a program is missing).
set -euo pipefail

usage() {
  echo "usage: $0 [--cli] [--box ADDR[:PORT]] [--renderer] [PATH...]" >&2
  exit 2
}

# The command-line demo when there is no display the private network can
# reach: none at all, or an X server over TCP (ssh -X gives
# DISPLAY=localhost:10.0), which the namespace's own loopback cannot reach.
needs_command_line() {
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the command-line demo." >&2
    return 0
  fi
  local display_host=${DISPLAY:-}
  display_host=${display_host%:*}
  if [ -z "${WAYLAND_DISPLAY:-}" ] && [ -n "$display_host" ] && [ "$display_host" != unix ]; then
    echo "The display $DISPLAY is reached over the network, which the demo's private" \
      "network cannot reach: running the command-line demo." >&2
    return 0
  fi
  return 1
}

build_if_missing() {
  local program
  for program in boxsim/vellumo-boxsim vellumoctl/vellumoctl app/vellumo; do
    if [ ! -x "$VELLUMO_BUILD_DIR/$program" ] && [ "$VELLUMO_BUILD_DIR" = build/dev ]; then
      scripts/install-deps.sh
      cmake --preset dev >/dev/null
      cmake --build --preset dev --target vellumo-boxsim vellumoctl vellumo
      return
    fi
  done
}

# Sound, pictures and a video a real renderer plays: tones, plain images and
# a test picture, a few seconds each.
make_playable_samples() {
  local samples=$1
  mkdir -p "$samples/Music and photos" "$samples/Videos"
  python3 - "$samples/Music and photos" <<'PY'
import math, struct, sys, wave, zlib
folder = sys.argv[1]
for name, pitch, seconds in (("morning walk", 440, 12), ("evening rain", 330, 9)):
    out = wave.open("%s/%s.wav" % (folder, name), "wb")
    out.setnchannels(1); out.setsampwidth(2); out.setframerate(22050)
    out.writeframes(b"".join(struct.pack("<h", int(6000 * math.sin(2 * math.pi * pitch * i / 22050)))
                             for i in range(22050 * seconds)))
    out.close()
def png(path, rgb):
    rows = b"".join(b"\0" + bytes(rgb) * 320 for _ in range(240))
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data)))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 320, 240, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
png("%s/dunes.png" % folder, (222, 184, 135))
png("%s/lighthouse.png" % folder, (70, 110, 160))
PY
  gst-launch-1.0 -q videotestsrc num-buffers=300 ! video/x-raw,width=320,height=240,framerate=25/1 \
    ! theoraenc ! oggmux ! filesink location="$samples/Videos/tide.ogv" >/dev/null
}

make_samples() {
  local samples=$1
  mkdir -p "$samples/Music and photos" "$samples/Videos"
  head -c 1500000 /dev/urandom >"$samples/Music and photos/morning walk.mp3"
  head -c 700000 /dev/urandom >"$samples/Music and photos/evening rain.flac"
  head -c 2500000 /dev/urandom >"$samples/Music and photos/harbour lights.ogg"
  head -c 1500000 /dev/urandom >"$samples/Music and photos/lighthouse.jpg"
  head -c 1200000 /dev/urandom >"$samples/Music and photos/dunes.png"
  head -c 3000000 /dev/urandom >"$samples/Videos/tide.mp4"
}

box=""
cli=0
renderer=0
paths=()
while [ $# -gt 0 ]; do
  case "$1" in
    --box) [ $# -ge 2 ] || usage; box="$2"; cli=1; shift 2 ;;
    --renderer) renderer=1; shift ;;
    --cli) cli=1; shift ;;
    -*) usage ;;
    *) paths+=("$(realpath "$1")"); shift ;;
  esac
done
# Paths are taken from where the demo was started, the programs from here.
cd "$(dirname "$0")/.."
if [ "$cli" = 0 ] && needs_command_line; then
  cli=1
fi

export VELLUMO_BUILD_DIR=${VELLUMO_BUILD_DIR:-build/dev}
build_if_missing
export VELLUMO_DEMO_STATE
VELLUMO_DEMO_STATE=$(mktemp -d "${TMPDIR:-/tmp}/vellumo-demo-XXXXXX")
trap 'rm -rf "$VELLUMO_DEMO_STATE"' EXIT
samples="$VELLUMO_DEMO_STATE/samples"
if [ "$renderer" = 1 ] && ! command -v gmediarender >/dev/null; then
  echo "--renderer needs gmediarender: run scripts/install-deps.sh first." >&2
  exit 1
fi
if [ ${#paths[@]} -eq 0 ]; then
  if [ "$renderer" = 1 ]; then
    make_playable_samples "$samples"
  else
    make_samples "$samples"
  fi
  [ "$cli" = 0 ] || paths=("$samples/Music and photos")
fi

if [ -n "$box" ]; then
  "$VELLUMO_BUILD_DIR"/vellumoctl/vellumoctl play --box "$box" "${paths[@]}"
elif [ "$cli" = 1 ] && [ "$renderer" = 1 ]; then
  scripts/in-private-net.sh scripts/lib/demo-in-namespace.sh renderer-cli "${paths[@]}"
elif [ "$cli" = 1 ]; then
  scripts/in-private-net.sh scripts/lib/demo-in-namespace.sh cli "${paths[@]}"
else
  export VELLUMO_DEMO_RENDERER=$renderer
  if [ ${#paths[@]} -eq 0 ]; then
    echo "Drop the folder \"$samples/Music and photos\" on the left pool (photos and"
    echo "music), or \"$samples/Videos\" on the right one; close the main window to end."
  fi
  VELLUMO_DEMO_UID=$(id -u) VELLUMO_DEMO_GID=$(id -g) \
    scripts/in-private-net.sh scripts/lib/demo-in-namespace.sh app ${paths[@]+"${paths[@]}"}
fi

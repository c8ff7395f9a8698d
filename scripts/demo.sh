#!/usr/bin/env bash
# The main job: plays files on a Box and prints what the Box reports.
#
#   scripts/demo.sh [--box ADDR[:PORT]] [PATH...]
#
# Without --box, a simulated Box (vellumo-boxsim) plays them on loopback in a
# private network namespace. Without paths, a few sample files are made.
# While it plays, type pause, resume, next, prev, seek T, vol V, mute,
# repeat R or quit and Enter.
set -euo pipefail
cd "$(dirname "$0")/.."

box=""
paths=()
while [ $# -gt 0 ]; do
  case "$1" in
    --box) box="$2"; shift 2 ;;
    *) paths+=("$(realpath "$1")"); shift ;;
  esac
done

if [ ! -x build/dev/vellumoctl/vellumoctl ] || [ ! -x build/dev/boxsim/vellumo-boxsim ]; then
  scripts/install-deps.sh
  cmake --preset dev >/dev/null
  cmake --build --preset dev --target vellumoctl vellumo-boxsim
fi

if [ ${#paths[@]} -eq 0 ]; then
  samples=$(mktemp -d "${TMPDIR:-/tmp}/vellumo-demo-XXXXXX")
  trap 'rm -rf "$samples"' EXIT
  head -c 1500000 /dev/urandom > "$samples/morning walk.mp3"
  head -c 700000 /dev/urandom > "$samples/evening rain.flac"
  head -c 2500000 /dev/urandom > "$samples/harbour lights.ogg"
  paths=("$samples")
fi

if [ -n "$box" ]; then
  exec build/dev/vellumoctl/vellumoctl play --box "$box" "${paths[@]}"
fi

# The simulated Box reads in real time (1 MB/s; one time unit per 100 kB) so
# that the controls have something to act on.
exec scripts/in-private-net.sh bash -c '
  build/dev/boxsim/vellumo-boxsim --rate 100000 --read-rate 1000000 > /dev/null &
  sim=$!
  trap "kill $sim 2>/dev/null; wait $sim 2>/dev/null" EXIT
  # The simulator says "ready" once it listens; until then connects are refused.
  for _ in $(seq 50); do
    build/dev/vellumoctl/vellumoctl version --box 127.0.0.1 >/dev/null 2>&1 && break
    sleep 0.1
  done
  build/dev/vellumoctl/vellumoctl version --box 127.0.0.1
  build/dev/vellumoctl/vellumoctl play --box 127.0.0.1 "$@"
' bash "${paths[@]}"

#!/usr/bin/env bash
# The demo's part inside its private network namespace, one function per
# mode (scripts/demo.sh starts it there):
#
#   demo-in-namespace.sh cli PATH...   vellumoctl plays PATHs on a simulated Box
#   demo-in-namespace.sh renderer-cli PATH...
#                                      vellumoctl plays PATHs on a renderer
#   demo-in-namespace.sh app [PATH...] vellumo finds a simulated Box announcing
#                                      on loopback and plays what it is given
#
# VELLUMO_BUILD_DIR names the build whose programs run; VELLUMO_DEMO_STATE a
# folder for the simulator's output; VELLUMO_DEMO_UID and VELLUMO_DEMO_GID the
# user who started the demo; VELLUMO_DEMO_RENDERER=1 adds a renderer to the
# app's network.
set -euo pipefail

# What this script started; stopped when it ends.
children=()
stop_children() {
  local child
  for child in ${children[@]+"${children[@]}"}; do
    kill "$child" 2>/dev/null || true
    wait "$child" 2>/dev/null || true
  done
  return 0
}
trap stop_children EXIT

# Starts the simulated Box with the options given and waits until it listens
# (until then connects are refused); the Box is stopped when this script ends.
start_box() {
  "$VELLUMO_BUILD_DIR"/boxsim/vellumo-boxsim "$@" >"$VELLUMO_DEMO_STATE/box.out" &
  children+=($!)
  for _ in $(seq 50); do
    grep -q '^ready' "$VELLUMO_DEMO_STATE/box.out" && return 0
    sleep 0.1
  done
  echo "The simulated Box did not start." >&2
  return 1
}

# Starts gmediarender in a namespace of its own behind a veth pair (its UPnP
# stack refuses loopback) and sets renderer_location to its description; it
# stops when this script ends.
start_renderer() {
  local out="$VELLUMO_DEMO_STATE/renderer.out"
  # It runs while its standard input stays open.
  mkfifo "$VELLUMO_DEMO_STATE/renderer.in"
  exec 4<>"$VELLUMO_DEMO_STATE/renderer.in"
  tests/support/renderer/run-renderer.sh --net 0 --name "Vellumo Demo TV" \
    <"$VELLUMO_DEMO_STATE/renderer.in" >"$out" 2>&1 &
  children+=($!)
  for _ in $(seq 150); do
    renderer_location=$(sed -n 's/^LOCATION //p' "$out")
    [ -n "$renderer_location" ] && return 0
    sleep 0.2
  done
  echo "The renderer did not start:" >&2
  cat "$out" >&2
  return 1
}

run_renderer_cli() {
  start_renderer
  "$VELLUMO_BUILD_DIR"/vellumoctl/vellumoctl play --renderer "$renderer_location" "$@"
}

# Real time (1 MB/s; one time unit per 100 kB) so that the controls have
# something to act on.
run_cli() {
  start_box --rate 100000 --read-rate 1000000
  "$VELLUMO_BUILD_DIR"/vellumoctl/vellumoctl version --box 127.0.0.1
  "$VELLUMO_BUILD_DIR"/vellumoctl/vellumoctl play --box 127.0.0.1 "$@"
}

# What crosses into the private network namespace: the display's filesystem
# sockets (X11's /tmp/.X11-unix/X*, Wayland's socket in $XDG_RUNTIME_DIR) and
# a session bus at a unix:path= address do, since files are not per network
# namespace; abstract sockets do not (X11's client library falls back to the
# filesystem socket by itself; a session bus at an abstract address leaves
# vellumo without its bus services, nothing more). An ordinary user enters
# the namespace as root of a user namespace of its own; the session bus
# checks the user id a client claims against the real one, and the X
# authority file and the runtime directory belong to the user, so vellumo
# runs here under the user's own ids again (a nested user namespace mapping
# them back). The reachability check's ICMP echo socket, not allowed to any
# group in a new namespace, is allowed to the user's group first.
# One time unit per second, read in real time, so that a file plays long
# enough to pause, seek and skip.
run_app() {
  start_box --upnp-iface lo --friendly-name "Vellumo Demo Box" --rate 100000 --read-rate 100000
  # The demo's Box is remembered in the demo's folder, not among the user's.
  local interfaces=(--iface lo)
  if [ "${VELLUMO_DEMO_RENDERER:-0}" = 1 ]; then
    start_renderer
    interfaces+=(--iface vlmh0)
  fi
  local app=(env XDG_CONFIG_HOME="$VELLUMO_DEMO_STATE/config" "$VELLUMO_BUILD_DIR"/app/vellumo
    "${interfaces[@]}" "$@")
  if [ "$VELLUMO_DEMO_UID" != 0 ]; then
    echo "0 0" >/proc/sys/net/ipv4/ping_group_range
    app=(unshare --map-user="$VELLUMO_DEMO_UID" --map-group="$VELLUMO_DEMO_GID" "${app[@]}")
  fi
  "${app[@]}"
}

mode=$1
shift
case "$mode" in
  cli) run_cli "$@" ;;
  renderer-cli) run_renderer_cli "$@" ;;
  app) run_app "$@" ;;
  *) echo "demo-in-namespace.sh: unknown mode '$mode'" >&2; exit 2 ;;
esac

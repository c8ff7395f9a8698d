#!/usr/bin/env bash
# Runs a real UPnP AV renderer in a network namespace of its own, reachable
# from the calling namespace over a veth pair: 10.77.N.1/24 on this side,
# 10.77.N.2/24 on the renderer's. Its libupnp refuses loopback, hence the pair.
# Call it inside a private network (scripts/in-private-net.sh) as root, so the
# pair never touches a real interface.
#
#   run-renderer.sh [--stack gmediarender|rygel] [--net N] [--name NAME]
#                   [--uuid UUID] [--log FILE]
#
# Prints "LOCATION <url>" once the description answers (and "HOST <address>"
# for this side's address), then runs until
# it is sent SIGTERM or SIGINT, its standard input closes or its parent exits.
# The renderer dies with it, even when it is killed outright.
set -euo pipefail

stack=gmediarender
net=0
name="Vellumo Test Renderer"
uuid=""
log=""
while [ $# -gt 0 ]; do
  case "$1" in
    --stack) stack="$2"; shift 2 ;;
    --net) net="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    --uuid) uuid="$2"; shift 2 ;;
    --log) log="$2"; shift 2 ;;
    *) echo "run-renderer.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if ! [[ "$net" =~ ^[0-9]+$ ]] || [ "$net" -gt 250 ]; then
  echo "run-renderer.sh: --net takes 0..250" >&2
  exit 2
fi
[ -n "$uuid" ] || uuid="$(cat /proc/sys/kernel/random/uuid)"

hostIf="vlmh$net"
peerIf="vlmr$net"
hostIp="10.77.$net.1"
peerIp="10.77.$net.2"
work="$(mktemp -d /tmp/vellumo-renderer.XXXXXX)"
[ -n "$log" ] || log="$work/renderer.log"
holder=""

cleanup() {
  trap - EXIT INT TERM
  # unshare ignores SIGTERM while it waits for its child.
  [ -n "$holder" ] && kill -KILL "$holder" 2>/dev/null || true
  [ -n "$holder" ] && wait "$holder" 2>/dev/null || true
  ip link del "$hostIf" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

ip link del "$hostIf" 2>/dev/null || true
ip link add "$hostIf" type veth peer name "$peerIf"

# The renderer's side: waits for its end of the pair, addresses it, then
# becomes the renderer.
cat >"$work/inside.sh" <<INSIDE
set -e
for _ in \$(seq 1 200); do
  ip link show "$peerIf" >/dev/null 2>&1 && break
  sleep 0.05
done
ip link set lo up
ip addr add "$peerIp/24" dev "$peerIf"
ip link set "$peerIf" up
ip route add default via "$hostIp" dev "$peerIf" 2>/dev/null || true
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$work/config" "$work/cache" "$work/data" "$work/run"
chmod 700 "$work/run"
case "$stack" in
  gmediarender)
    # Fake sinks that keep time, so that a file takes as long as it lasts.
    exec gmediarender --gstout-audiopipe="fakesink sync=true" --gstout-videopipe="fakesink sync=true" \
      -f "$name" -u "$uuid" -I "$peerIf" -p 49152 --logfile="$log"
    ;;
  rygel)
    cat >"$work/rygel.conf" <<CONF
[general]
ipv6=false
enable-transcoding=false
upnp-enabled=true
interface=$peerIf
port=49152
log-level=*:3

[Playbin]
enabled=true
title=$name
audio-sink=fakesink
video-sink=fakesink

[MediaExport]
enabled=false

[External]
enabled=false

[MPRIS]
enabled=false

[Tracker]
enabled=false

[Tracker3]
enabled=false

[LMS]
enabled=false

[GstLaunch]
enabled=false

[Ruih]
enabled=false
CONF
    cp "$work/rygel.conf" "$work/config/rygel.conf"
    exec dbus-run-session -- rygel --config "$work/rygel.conf" --disable-plugin=MediaExport \
      --disable-plugin=External --disable-plugin=MPRIS >"$log" 2>&1
    ;;
esac
INSIDE

# The holder dies with this script; the renderer dies with the holder, and
# with it whatever the renderer started (rygel's session bus): they share a
# process namespace whose first process the holder's death kills.
setpriv --pdeathsig KILL -- unshare -n -p --kill-child=KILL -- bash "$work/inside.sh" &
holder=$!
# unshare makes the namespace before it forks: its own pid names it.
for _ in $(seq 1 100); do
  [ "$(readlink /proc/$holder/ns/net 2>/dev/null)" != "$(readlink /proc/self/ns/net)" ] && break
  sleep 0.05
done
ip link set "$peerIf" netns "$holder"
ip addr add "$hostIp/24" dev "$hostIf"
ip link set "$hostIf" up

# gmediarender's description sits at /description.xml; rygel's under
# /<uuid>.xml with its own uuid, found in its log or by probing.
location=""
for _ in $(seq 1 300); do
  if ! kill -0 "$holder" 2>/dev/null; then
    echo "run-renderer.sh: the renderer exited" >&2
    cat "$log" >&2 2>/dev/null || true
    exit 1
  fi
  case "$stack" in
    gmediarender)
      for port in 49152 49153 49154 49155; do
        if curl -sf --noproxy '*' -m 1 "http://$peerIp:$port/description.xml" -o /dev/null; then
          location="http://$peerIp:$port/description.xml"
          break
        fi
      done
      ;;
    rygel)
      # Rygel picks its own port and path: asked for over the pair, the
      # only link this side has to it.
      candidate="$(python3 - "$hostIp" <<'SEARCH' || true
import socket, sys
host = sys.argv[1]
probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
probe.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(host))
probe.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
probe.bind((host, 0))
probe.settimeout(0.5)
probe.sendto(b"M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
             b"MX: 1\r\nST: urn:schemas-upnp-org:device:MediaRenderer:1\r\n\r\n",
             ("239.255.255.250", 1900))
try:
    while True:
        answer = probe.recv(4096).decode(errors="replace")
        for line in answer.split("\r\n"):
            if line.lower().startswith("location:"):
                print(line.split(":", 1)[1].strip())
                sys.exit(0)
except OSError:
    sys.exit(1)
SEARCH
)"
      if [ -n "$candidate" ] && curl -sf --noproxy '*' -m 1 "$candidate" -o /dev/null; then
        location="$candidate"
      fi
      ;;
  esac
  [ -n "$location" ] && break
  sleep 0.1
done
if [ -z "$location" ]; then
  echo "run-renderer.sh: no description answered at $peerIp" >&2
  cat "$log" >&2 2>/dev/null || true
  exit 1
fi
echo "HOST $hostIp"
echo "LOCATION $location"

# Runs until told to stop, until the caller's end of standard input closes or
# until the caller exits.
parent=$PPID
while kill -0 "$holder" 2>/dev/null; do
  status=0
  read -r -t 1 _ || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -le 128 ]; then
    break
  fi
  [ "$(cut -d' ' -f4 /proc/$$/stat)" = "$parent" ] || break
done

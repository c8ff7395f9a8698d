#!/usr/bin/env bash
# Runs a command in a private network namespace with only loopback up, so
# nothing it sends can leave the machine. Needs root or unprivileged user
# namespaces.
set -euo pipefail
if [ "${VELLUMO_IN_PRIVATE_NET:-}" = 1 ]; then
  exec "$@"
fi
args=(-n)
[ "$(id -u)" -eq 0 ] || args=(-r -n)
exec unshare "${args[@]}" -- env VELLUMO_IN_PRIVATE_NET=1 bash -c 'ip link set lo up && exec "$@"' bash "$@"

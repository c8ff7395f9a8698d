#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test inside a private
# network namespace. Usage: scripts/test.sh [preset]   (default: dev)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
scripts/in-private-net.sh ctest --preset "$preset" -j2 --timeout 300

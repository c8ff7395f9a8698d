#!/usr/bin/env bash
# The README's main job without a display: scripts/demo.sh falls back to the
# command-line demo, plays the given files (paths relative to where it was
# started) on the simulated Box to the end, and stops the simulator.
#   demo-test.sh SOURCE_DIR BUILD_DIR   (inside a private network namespace)
set -euo pipefail
# A network of its own even inside the suite's: the simulated Box takes its
# usual port, which other tests use meanwhile.
if [ "${VELLUMO_DEMO_TEST:-}" != 1 ]; then
  exec unshare -n -- env VELLUMO_IN_PRIVATE_NET=1 VELLUMO_DEMO_TEST=1 \
    bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
source_dir=$1
export VELLUMO_BUILD_DIR=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/music"
head -c 150000 /dev/urandom >"$work/music/first.mp3"
head -c 120000 /dev/urandom >"$work/music/second.flac"

fail() {
  echo "FAIL: $*" >&2
  echo "--- stdout" >&2
  cat "$work/out" >&2
  echo "--- stderr" >&2
  cat "$work/err" >&2
  exit 1
}

# No display: the command-line demo says why and plays the folder through.
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 \
  "$source_dir/scripts/demo.sh" music </dev/null >"$work/out" 2>"$work/err") ||
  fail "the demo without a display failed"
grep -q "No display" "$work/err" || fail "no word of the missing display"
grep -q "now playing 1/2 $work/music/first.mp3" "$work/out" || fail "the first file did not play"
grep -q "now playing 2/2 $work/music/second.flac" "$work/out" || fail "the second file did not play"
grep -qx "done" "$work/out" || fail "the playback did not end"
# Nothing listens on the Box's port any more: the simulator ended with the demo.
if (exec 3<>/dev/tcp/127.0.0.1/7171) 2>/dev/null; then
  fail "the simulated Box is still running"
fi

# --cli with a display at hand: the same demo, without the fallback notice.
(cd "$work" && DISPLAY=:99 timeout 60 "$source_dir/scripts/demo.sh" --cli music/first.mp3 \
  </dev/null >"$work/out" 2>"$work/err") || fail "the --cli demo failed"
grep -q "No display" "$work/err" && fail "--cli was taken for a missing display"
grep -q "now playing 1/1 $work/music/first.mp3" "$work/out" || fail "--cli did not play"

# --box without an address is a usage error, not a search of the network.
status=0
"$source_dir/scripts/demo.sh" --box >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "--box without an address gave $status, want 2"
grep -q "usage" "$work/err" || fail "no usage for --box without an address"
echo "demo-test: passed"

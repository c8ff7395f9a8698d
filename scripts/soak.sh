#!/usr/bin/env bash
# Soak run: drives the library's C interface against the simulated Box in a
# private network namespace under AddressSanitizer for MINUTES, samples the
# driver's descriptors, threads and resident memory every 10 s, and fails
# when they grow (or when the driver fails or leaks).
#
#   scripts/soak.sh MINUTES [SAMPLES_FILE]
#
# Samples: one line each, "seconds fds threads rss_kib". Builds the asan
# preset's soak_driver and vellumo-boxsim first (unless VELLUMO_SOAK_NO_BUILD=1).
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:?usage: scripts/soak.sh MINUTES [SAMPLES_FILE]}
samples=${2:-build/soak/samples.txt}
interval=10

if [ "${VELLUMO_IN_PRIVATE_NET:-}" != 1 ]; then
  if [ "${VELLUMO_SOAK_NO_BUILD:-}" != 1 ]; then
    [ -d build/asan ] || cmake --preset asan
    cmake --build --preset asan --target soak_driver vellumo-boxsim
  fi
  mkdir -p "$(dirname "$samples")"
  exec scripts/in-private-net.sh "$0" "$minutes" "$samples"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A small quarantine keeps freed memory from looking like growth.
export ASAN_OPTIONS=quarantine_size_mb=16:detect_leaks=1:abort_on_error=0

build/asan/tests/soak/soak_driver build/asan/boxsim/vellumo-boxsim "$minutes" "$work" \
  >"$work/driver.log" 2>&1 &
driver=$!

: >"$samples"
start=$SECONDS
while kill -0 "$driver" 2>/dev/null; do
  fds=$(ls "/proc/$driver/fd" 2>/dev/null | wc -l) || fds=0
  threads=$(awk '/^Threads:/ {print $2}' "/proc/$driver/status" 2>/dev/null) || threads=
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$driver/status" 2>/dev/null) || rss=
  [ -n "$threads" ] && [ -n "$rss" ] && echo "$((SECONDS - start)) $fds $threads $rss" >>"$samples"
  sleep "$interval"
done
status=0
wait "$driver" || status=$?
tail -n 20 "$work/driver.log"
echo "samples: $(wc -l <"$samples") in $samples"
head -n 1 "$samples"
tail -n 1 "$samples"
if [ "$status" -ne 0 ]; then
  echo "soak: the driver failed ($status)"
  exit 1
fi

# Growth: the first quarter of the run (after a minute's warm-up) against
# the last quarter. Descriptors and threads compare their maxima with a
# little slack for rounds in flight; memory compares medians.
awk -v warmup=60 '
  $1 >= warmup { t[n] = $1; f[n] = $2; h[n] = $3; r[n] = $4; n++ }
  function median(a, from, to,    m, i, j, k, s) {
    m = 0
    for (i = from; i < to; i++) s[m++] = a[i]
    for (i = 1; i < m; i++) { k = s[i]; for (j = i - 1; j >= 0 && s[j] > k; j--) s[j + 1] = s[j]; s[j + 1] = k }
    return s[int(m / 2)]
  }
  function maximum(a, from, to,    i, x) { x = a[from]; for (i = from; i < to; i++) if (a[i] > x) x = a[i]; return x }
  END {
    if (n < 8) { print "soak: too few samples to judge growth"; exit 0 }
    q = int(n / 4)
    fdFirst = maximum(f, 0, q); fdLast = maximum(f, n - q, n)
    thFirst = maximum(h, 0, q); thLast = maximum(h, n - q, n)
    rssFirst = median(r, 0, q); rssLast = median(r, n - q, n)
    printf "fds %d -> %d, threads %d -> %d, rss %d -> %d KiB\n", fdFirst, fdLast, thFirst, thLast, rssFirst, rssLast
    grew = 0
    if (fdLast > fdFirst + 4) { print "soak: descriptors grew"; grew = 1 }
    if (thLast > thFirst + 4) { print "soak: threads grew"; grew = 1 }
    if (rssLast > rssFirst * 1.25 && rssLast - rssFirst > 16384) { print "soak: resident memory grew"; grew = 1 }
    exit grew
  }' "$samples"

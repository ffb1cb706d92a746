#!/usr/bin/env bash
# Reads a 50 MB resource from the loopback HTTP server of the tests (tests/support/loopback_server.py)
# through the cached HTTP storage (the test build, under Wine, timed inside the process): front to back in
# 64 KB pieces with the default 32 KB blocks and with 1 MB blocks, and 10,000 pieces of 4 KB at random
# places; beside `curl` fetching the whole file from the same server in the same run (wall time of the
# host process). Prints MB/s of bytes read, the requests each made (from the server's request log) and
# the MB/s over curl's. Every byte we read is checked against the file.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" net_bench

mkdir -p "$work/server" "$work/files"
head -c $((50 * 1024 * 1024)) /dev/urandom >"$work/files/data.bin"
/usr/bin/python3 "$here/tests/support/loopback_server.py" "$work/server" bench "$work/files" >"$work/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$work"; wineserver -k >/dev/null 2>&1 || true' EXIT
for _ in $(seq 200); do [ -f "$work/server/ports" ] && break; sleep 0.1; done
read -r _ port _ <"$work/server/ports" || { cat "$work/server.log" >&2; exit 1; }
url() { echo "http://127.0.0.1:$port/file/$1/-/data.bin"; }
requests() { wc -l <"$work/server/log-$1.txt"; }
mb=$((1024 * 1024))

curl -s -o /dev/null "$(url warm)"  # the page cache holds the file for everyone
curl_s=$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$(url curl)")
cmp -s "$work/curl.bin" "$work/files/data.bin" || { echo "curl got other bytes" >&2; exit 1; }
curl_mbs=$(awk -v s="$curl_s" -v b="$(stat -c %s "$work/files/data.bin")" -v m=$mb 'BEGIN { print b / m / s }')

printf '%-28s %9s %9s %9s %9s\n' reader seconds MB/s requests ratio
printf '%-28s %9.3f %9.1f %9d %9s\n' "curl (whole file)" "$curl_s" "$curl_mbs" "$(requests curl)" 1.00
for run in "sequential 32768" "sequential 1048576" "random 32768"; do
  set -- $run
  key=$1-$2
  read -r seconds bytes < <("$MVX_WINE" "$exe" "$(url "$key")" "Z:$work/files/data.bin" "$1" "$2" | tr -d '\r')
  mbs=$(awk -v s="$seconds" -v b="$bytes" -v m=$mb 'BEGIN { print b / m / s }')
  printf '%-28s %9.3f %9.1f %9d %9.2f\n' "$1, $(($2 / 1024)) KB blocks" "$seconds" "$mbs" "$(requests "$key")" \
    "$(awk -v a="$mbs" -v b="$curl_mbs" 'BEGIN { print a / b }')"
done

#!/usr/bin/env bash
# script_client_test.sh WINE SCRIPT: runs the script with Wine's script host. The script must say that all
# its calls were answered: an error the script does not catch ends the host with status 0 and no word.
set -euo pipefail
out=$("$1" cscript //nologo "$("$1" winepath -w "$2" 2>/dev/null | tr -d '\r')" | tr -d '\r') || status=$?
echo "$out"
[ "${status:-0}" = 0 ] && grep -qx "script client: all calls answered" <<<"$out"

#!/usr/bin/env bash
# dll_exports_test.sh DLL: the 32-bit add-in DLL, read on the host, exports exactly the four COM server
# entry points, by their plain names, and each is the __stdcall function (NAME@BYTES) of its signature.
# (What it imports is checked with every other program of the build by the system_imports test.)
set -euo pipefail
dll=$1
[ -f "$dll" ] || { echo "$dll: not built" >&2; exit 1; }
failed=0

exports=$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | tr -d '\r' | sort)
expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" != "$expected" ]; then
  printf '%s exports:\n%s\nexpected:\n%s\n' "$dll" "$exports" "$expected" >&2
  failed=1
fi

symbols=$(i686-w64-mingw32-nm "$dll")
address_of() { sed -n "s/^\([0-9a-f]*\) T _$1\$/\1/p" <<<"$symbols"; }
for entry in DllCanUnloadNow@0 DllGetClassObject@12 DllRegisterServer@0 DllUnregisterServer@0; do
  plain=${entry%@*}
  at=$(address_of "$entry")
  if [ -z "$at" ] || [ "$at" != "$(address_of "$plain")" ]; then
    echo "$dll: the export $plain is not the __stdcall function $entry" >&2
    failed=1
  fi
done
[ "$failed" = 0 ] || exit 1
echo "$dll exports the four entry points undecorated, each __stdcall"

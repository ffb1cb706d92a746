#!/usr/bin/env bash
# registration_test.sh register|unregister WINE DLL: registers (or unregisters) the add-in with Wine's
# regsvr32 and reads the keys back with Wine's reg. Registration must write the two classes with their
# ProgIDs, the type library and the add-in keys of Word, Excel and PowerPoint; unregistration must remove
# all of them and leave the shared keys (HKCR\CLSID, the Office key path) in place.
set -euo pipefail
action=$1 wine=$2 dll=$3
dll_win=$("$wine" winepath -w "$dll" 2>/dev/null | tr -d '\r')
failed=0

query() { # query KEY [reg query options...]: the output of reg query, empty when the key is missing
  "$wine" reg query "$@" 2>/dev/null | tr -d '\r' || true
}
expect_value() { # expect_value KEY NAME TYPE DATA
  local out
  out=$(query "$1" /v "$2")
  if ! grep -qiE "^[[:space:]]*$2[[:space:]]+$3[[:space:]]+$(printf '%s' "$4" | sed 's/[][\.*^$()+?{}|]/\\&/g')\$" <<<"$out"; then
    echo "$1 [$2]: expected $3 '$4', reg query says: ${out:-nothing}" >&2
    failed=1
  fi
}
expect_default() { # expect_default KEY DATA
  local out
  out=$(query "$1" /ve)
  if ! grep -qF "$2" <<<"$out"; then
    echo "$1 (default): expected '$2', reg query says: ${out:-nothing}" >&2
    failed=1
  fi
}
expect_key() { # expect_key KEY present|absent
  if "$wine" reg query "$1" >/dev/null 2>&1; then state=present; else state=absent; fi
  if [ "$state" != "$2" ]; then
    echo "$1: expected $2, is $state" >&2
    failed=1
  fi
}

connect='{D43A0D32-EE5E-470C-96FC-90920B7A18A8}'
callback='{CC9041C5-2D90-4935-B305-8C9A10EC029F}'
typelib='{5E8F264B-2468-4762-A65B-735410292BEC}'
hosts=(Word Excel PowerPoint)

case $action in
register)
  "$wine" regsvr32 /s "$dll_win" || { echo "regsvr32 failed with status $?" >&2; exit 1; }
  for class in "Connect:$connect" "CallbackInterface:$callback"; do
    name=${class%%:*} id=${class#*:}
    expect_default "HKCR\\Brindlepage.$name.1" "$name Class"
    expect_default "HKCR\\Brindlepage.$name.1\\CLSID" "$id"
    expect_default "HKCR\\Brindlepage.$name" "$name Class"
    expect_default "HKCR\\Brindlepage.$name\\CLSID" "$id"
    expect_default "HKCR\\Brindlepage.$name\\CurVer" "Brindlepage.$name.1"
    expect_default "HKCR\\CLSID\\$id" "$name Class"
    expect_default "HKCR\\CLSID\\$id\\ProgID" "Brindlepage.$name.1"
    expect_default "HKCR\\CLSID\\$id\\VersionIndependentProgID" "Brindlepage.$name"
    expect_key "HKCR\\CLSID\\$id\\Programmable" present
    expect_default "HKCR\\CLSID\\$id\\InprocServer32" "$dll_win"
    expect_value "HKCR\\CLSID\\$id\\InprocServer32" ThreadingModel REG_SZ Apartment
    expect_default "HKCR\\CLSID\\$id\\TypeLib" "$typelib"
  done
  expect_default "HKCR\\TypeLib\\$typelib\\1.0" "Brindlepage 1.0 Type Library"
  expect_key "HKCR\\Interface\\{2F18ACC3-A71A-4BE3-85EC-8C35323ADEF8}" present
  for host in "${hosts[@]}"; do
    key="HKLM\\Software\\Microsoft\\Office\\$host\\Addins\\Brindlepage.Connect"
    expect_value "$key" LoadBehavior REG_DWORD 0x3
    expect_value "$key" CommandLineSafe REG_DWORD 0x0
    expect_value "$key" FriendlyName REG_SZ "Brindlepage DjVu Export"
    expect_value "$key" Description REG_SZ "Brindlepage DjVu Export"
  done
  ;;
unregister)
  "$wine" regsvr32 /s /u "$dll_win" || { echo "regsvr32 /u failed with status $?" >&2; exit 1; }
  for key in "HKCR\\Brindlepage.Connect.1" "HKCR\\Brindlepage.Connect" "HKCR\\Brindlepage.CallbackInterface.1" \
             "HKCR\\Brindlepage.CallbackInterface" "HKCR\\CLSID\\$connect" "HKCR\\CLSID\\$callback" \
             "HKCR\\TypeLib\\$typelib"; do
    expect_key "$key" absent
  done
  for host in "${hosts[@]}"; do
    expect_key "HKLM\\Software\\Microsoft\\Office\\$host\\Addins\\Brindlepage.Connect" absent
    expect_key "HKLM\\Software\\Microsoft\\Office\\$host\\Addins" present
  done
  expect_key "HKCR\\CLSID" present
  ;;
*)
  echo "usage: $0 register|unregister WINE DLL" >&2
  exit 2
  ;;
esac
[ "$failed" = 0 ] || exit 1
echo "$action: keys as expected"

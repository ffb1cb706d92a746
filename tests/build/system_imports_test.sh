#!/usr/bin/env bash
# system_imports_test.sh PATH...: every Windows program and DLL in the given build folders (or the given
# files) imports only DLLs that come with Windows. A program that needs another DLL (zlib1.dll, a mingw
# runtime DLL) starts under Wine, which carries many of them, but not on a Windows machine without it.
# Prints each offending file with the DLL it names and fails; a folder without any program fails too, so
# that a missing or unbuilt folder does not pass unseen.
set -euo pipefail

# Windows 7 and later ship these; api-ms-win-* are the API sets of the universal C runtime.
system_dlls=(kernel32 user32 gdi32 gdiplus ole32 oleaut32 olepro32 advapi32 shell32 shlwapi crypt32
  cryptui cryptnet wintrust bcrypt ncrypt secur32 credui winhttp wininet urlmon ws2_32 iphlpapi dnsapi
  mswsock netapi32 mpr rpcrt4 msvcrt ucrtbase ntdll comdlg32 comctl32 uxtheme dwmapi msimg32 usp10
  imm32 oleacc propsys version userenv psapi dbghelp setupapi winmm winspool.drv msctf windowscodecs
  d2d1 dwrite xmllite)
declare -A is_system=()
for name in "${system_dlls[@]}"; do is_system[$name]=1; done

is_system_dll() { # is_system_dll NAME: true for a DLL of Windows itself
  local name=${1,,}
  [[ $name == api-ms-win-*.dll ]] || [ -n "${is_system[${name%.dll}]:-}" ] || [ -n "${is_system[$name]:-}" ]
}

imports() { # imports FILE: the DLL names of the file's import table, one a line
  local dump
  dump=$(i686-w64-mingw32-objdump -p "$1" 2>/dev/null || x86_64-w64-mingw32-objdump -p "$1") || {
    echo "$1: not a Windows program objdump can read" >&2
    return 1
  }
  sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr -d '\r'
}

[ $# -gt 0 ] || { echo "usage: $0 BUILD-FOLDER-OR-FILE..." >&2; exit 2; }
failed=0 checked=0
declare -A seen=()
for arg in "$@"; do
  [ -e "$arg" ] || { echo "$arg: no such build folder or file" >&2; failed=1; continue; }
  real=$(realpath "$arg")
  [ -z "${seen[$real]:-}" ] || continue
  seen[$real]=1
  files=()
  if [ -d "$real" ]; then
    # CMake's compiler probes are not ours, and the copies running tests make in their scratch folders
    # (testtmp) come and go while this runs.
    mapfile -d '' files < <(find "$real" \( -name CMakeFiles -o -name testtmp \) -prune -o -type f \
                              \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
    [ ${#files[@]} -gt 0 ] || { echo "$arg: no .exe or .dll in this build folder" >&2; failed=1; continue; }
  else
    files=("$real")
  fi
  for f in "${files[@]}"; do
    names=$(imports "$f") || { failed=1; continue; }
    checked=$((checked + 1))
    while IFS= read -r dll; do
      [ -n "$dll" ] || continue
      if ! is_system_dll "$dll"; then
        echo "$f imports $dll, which is not a Windows system DLL" >&2
        failed=1
      fi
    done <<<"$names"
  done
done
[ "$failed" = 0 ] || exit 1
echo "$checked programs and DLLs import only Windows system DLLs"

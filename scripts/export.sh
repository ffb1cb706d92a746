#!/usr/bin/env bash
# Saves a document as DjVu through the add-in, the way Office would: the document becomes one metafile a
# page (scripts/document-to-emf.sh: LibreOffice, framed as whole pages), then the host program plays the
# Office application of the document's kind around the add-in registered in the user's Wine prefix: it
# starts the add-in, presses its button, answers the save dialog with OUT and hands the pages to the
# add-in's exporter. Prints a line per page, then where the file is, its pages and its size. Exits 0 when
# OUT is written, 1 when the export is refused or fails, 2 on a wrong command line.
#   export.sh [--host Word|Excel|PowerPoint] [--name NAME] FILE OUT.djvu
# FILE: a text document (.docx .doc .odt .rtf ...: Word), a spreadsheet (.xlsx .xls .ods .csv ...: Excel),
# a presentation (.pptx .ppt .odp ...: PowerPoint), a .pdf (Word), or a folder of page metafiles (*.emf, in
# name order: Word); scripts/document-types.sh has them all. --host chooses the host instead; --name is the document's name as the host gives it (the
# file's or folder's name otherwise), from which the save dialog proposes its file name.
# Uses build/ (or MVX_BUILD_DIR) made by scripts/setup.sh, which it only reads; the add-in is registered in
# a Wine prefix of the user's own for that build, apart from the tests' ($XDG_CACHE_HOME or ~/.cache, in
# brindlepage/build-HASH/wineprefix-export-ARCH, its log beside it in logs/).
set -euo pipefail
here=$(cd "$(dirname -- "$0")/.." && pwd)
build=${MVX_BUILD_DIR:-$here/build}
source "$here/scripts/document-types.sh"
usage() { echo "usage: $0 [--host Word|Excel|PowerPoint] [--name NAME] FILE OUT.djvu" >&2; exit 2; }
# The add-in opens OUT through Wine, which, as Windows, takes a name in any case for the file there (the
# document itself, say), reads some names as devices and cannot hold others; C.UTF-8 upper-cases every
# letter, as Wine compares names, whatever the user's locale.
windows_name_fault() ( # windows_name_fault NAME: why Windows cannot hold NAME, nothing when it can
  LC_ALL=C.UTF-8
  local stem=${1%%.*}
  case $1 in
    *[\\:*?\"\<\>\|]*) echo 'a Windows name cannot hold \ : * ? " < > |' ;;
    *[$'\001'-$'\037']*) echo "a Windows name cannot hold control characters" ;;
    *[.\ ]) echo "Windows drops a dot or a space at the end of a name" ;;
    *) [[ ! ${stem^^} =~ ^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])\ *$ ]] || echo "Windows keeps the name $stem for a device" ;;
  esac
)
case_twin() ( # case_twin PATH: the file of PATH's folder whose name is PATH's but for case, if any
  LC_ALL=C.UTF-8
  shopt -s nullglob dotglob
  local name=${1##*/} other
  for other in "${1%/*}"/*; do
    other=${other##*/}
    [ "$other" = "$name" ] || [ "${other^^}" != "${name^^}" ] || { echo "$other"; break; }
  done
)
link_loop() ( # link_loop PATH: PATH and the links it leads through, round to the first again, when they loop
  local path target chain=$1
  declare -A seen=()
  path=$(realpath -ms -- "$1")
  while [ -L "$path" ]; do
    [ -z "${seen[$path]:-}" ] || { echo "$chain"; return; }
    seen[$path]=1
    target=$(readlink -- "$path")
    chain+=" -> $target"
    [[ $target == /* ]] || target=$(dirname -- "$path")/$target
    path=$(realpath -ms -- "$target")
  done
)

host= name=
while [ $# -gt 2 ]; do
  case $1 in
    --host) host=$2 ;;
    --name) name=$2 ;;
    *) usage ;;
  esac
  shift 2
done
case $host in '' | Word | Excel | PowerPoint) ;; *) usage ;; esac
[ $# -eq 2 ] || usage
input=$1 output=$2
if [ ! -e "$input" ]; then
  loop=$(link_loop "$input")
  [ -z "$loop" ] || { echo "$0: $input is a link that leads round a loop: $loop" >&2; exit 1; }
  echo "$0: no such document: $input" >&2
  exit 1
fi
type=
if [ -d "$input" ]; then
  # The host would answer a folder without them (named as a document, say) with its usage line.
  metafiles=$(shopt -s nullglob nocaseglob && set -- "$input"/*.emf && echo $#)
  [ "$metafiles" != 0 ] || { echo "$0: $input is a folder without page metafiles: a folder given as the document" \
    "must hold its pages, a metafile each (*.emf, in name order)" >&2; exit 1; }
else
  type=$(document_type "$input")
  [ -n "$type" ] || { printf '%s\n' "$0: $input is of none of the types it exports:" "$(document_types)" \
    "  or a folder of page metafiles (*.emf)" >&2; exit 1; }
fi
outdir=$(dirname -- "$output")
[ -d "$outdir" ] || { echo "$0: no such folder: $outdir" >&2; exit 1; }
# A name that reaches the document itself (through a link, "..") would replace it by its DjVu file.
[ ! "$input" -ef "$output" ] || { echo "$0: $output is the document itself: give the DjVu file another name" >&2; exit 1; }
[ ! -d "$output" ] || { echo "$0: $output is a folder: give the DjVu file's name" >&2; exit 1; }
# Found now rather than after every page was drawn and encoded; by trying, as permissions alone do not
# tell (an administrator, a read-only mount, a system folder).
probe=$(mktemp -p "$outdir" .brindlepage-probe.XXXXXX 2>/dev/null) ||
  { echo "$0: the folder $outdir cannot be written" >&2; exit 1; }
rm -f -- "$probe"
# The "." keeps a newline that ends the name from being dropped with realpath's own.
output=$(realpath -m -- "$output" && echo .)
output=${output%$'\n.'}
# Wine reads a path as UTF-8: another one would name another file, the bytes it cannot read as U+FFFD.
iconv -f UTF-8 -t UTF-8 <<<"$output" >/dev/null 2>&1 || { echo "$0: $(printf %q "$output"): the path is not UTF-8," \
  "which Wine would write under another name (give the DjVu file a path in UTF-8)" >&2; exit 1; }
fault=$(windows_name_fault "${output##*/}")
[ -z "$fault" ] || { echo "$0: $output: $fault (give the DjVu file another name)" >&2; exit 1; }
twin=$(case_twin "$output")
[ -z "$twin" ] || { echo "$0: $output names $twin to Windows, which ignores case: give the DjVu file another name" >&2; exit 1; }
[ ! -e "$output" ] || echo "$output exists: the export replaces it"

if [ -z "$host" ]; then
  host=Word
  [ -z "$type" ] || host=${document_host[$type]}
fi

arch=$(bash "$here/scripts/test-arch.sh")
program=$build/$arch/tests/fake_office.exe
addin=$build/$arch/Brindlepage/Brindlepage.dll
for built in "$program" "$addin"; do
  [ -f "$built" ] || { echo "$0: $built is missing (run scripts/setup.sh)" >&2; exit 1; }
done

# Wine refuses a prefix that another user owns, as the build's folders are when setup ran as root: the
# add-in is registered in a prefix of the user's own, one for each build, made on first use.
state=${XDG_CACHE_HOME:-${HOME:-}/.cache}/brindlepage/build-$(realpath -- "$build" | sha256sum | cut -c1-16)
mkdir -p -- "$state" 2>/dev/null ||
  { echo "$0: $state cannot be made for the Wine prefix: set XDG_CACHE_HOME to a folder of yours" >&2; exit 1; }
# Another user's folder there (root's, when setup or an export ran under a sudo that kept HOME) would fail
# only at the registration, told as such: said now, with what to do.
foreign=$(find "$state" -maxdepth 2 ! -user "$(id -u)" -print -quit 2>/dev/null) || true
if [ -n "$foreign" ]; then
  echo "$0: $foreign belongs to $(stat -c '%U (uid %u)' -- "$foreign"), not to you, and Wine takes no prefix of" \
    "another user's: have it removed (rm -rf -- $state, as its owner or root) or set XDG_CACHE_HOME to a folder" \
    "of yours" >&2
  exit 1
fi
wine_env() { source "$here/scripts/wine-env.sh" "$state" "$arch" "wineprefix-export-$arch"; }
windows() { "$MVX_WINE" winepath -w -- "$1" 2>/dev/null | tr -d '\r'; }
# Registered once for each build of the add-in, under the prefix's lock, so that exports running at once
# neither register it under one another's hosts nor twice: a registration rewrites the add-in's keys, which a
# host that is starting it reads. Before any work, in a subshell: the conversion keeps the user's locale,
# which Wine's settings replace; Wine's programs get the lock closed, or its server would hold it.
register() {
  local path stamp lock
  path=$(windows "$addin")
  stamp=$(sha256sum <"$addin")
  exec {lock}>"$WINEPREFIX.lock"
  flock "$lock"
  [ "$(cat -- "$WINEPREFIX/.registered" 2>/dev/null)" != "$stamp" ] || return 0
  "$MVX_WINE" regsvr32 /s "$path" {lock}>&- && echo "$stamp" >"$WINEPREFIX/.registered"
}
(wine_env && register) ||
  { echo "$0: the add-in could not be registered in $state/wineprefix-export-$arch" >&2; exit 1; }

work=$(mktemp -d -t brindlepage.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
if [ -d "$input" ]; then
  pages=$(realpath -- "$input")
  name=${name:-$(basename -- "$pages")}
else
  pages=$work/pages
  name=${name:-$(basename -- "$input")}
  # The conversion's own progress: a line per page drawn as a metafile.
  bash "$here/scripts/document-to-emf.sh" "$input" "$pages" |
    sed -u 's/^page \([0-9]* of [0-9]*\): .*(\(.*\))$/page \1 drawn (\2)/'
fi

wine_env

# The host prints what the user sees and a line per page handed to the exporter; MVX_EXPORT_STATS=1 adds
# the seconds of each page and of the export, and the peak memory.
options=()
[ -z "${MVX_EXPORT_STATS:-}" ] || options+=(--stats)
set +e
# A line as soon as the host says it, also into a pipe (| tee log): tr would hold them all to the end.
"$MVX_WINE" "$program" "$host" "$(windows "$pages")" --name "$name" --save "$(windows "$output")" "${options[@]}" |
  sed -u 's/\r$//'
status=${PIPESTATUS[0]}
set -e
if [ "$status" != 0 ] || [ ! -f "$output" ]; then
  echo "$0: the export of $input failed" >&2
  exit 1
fi
echo "$output: $(djvused -e n "$output") pages, $(stat -c %s -- "$output") bytes"

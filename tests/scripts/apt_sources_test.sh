#!/usr/bin/env bash
# Source archives are turned on beside every binary archive, in both forms of apt's package sources, as
# apt itself then reads them; sources that have them already count as on, and a machine without any
# Debian sources fails by name instead of passing.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/apt-sources.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

targets() { # targets APT_DIR KIND: the sites and releases of apt's KIND indexes (Packages, Sources)
  apt-get -o Dir::Etc="$1" -o Dir::Etc::sourcelist="$1/sources.list" -o Dir::Etc::sourceparts="$1/sources.list.d" \
    -o Dir::Etc::parts="$1/apt.conf.d" indextargets --no-release-info --format '$(CREATED_BY) $(SITE) $(RELEASE)' |
    sed -n "s/^$2 //p" | sort -u
}

classic='# deb-src http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm main
deb [arch=amd64] http://deb.debian.org/debian-security bookworm-security main'
deb822='Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main'

make_case() { # make_case NAME [FILE TEXT]...: a fresh apt folder holding the files
  local dir=$work/$1
  shift
  mkdir -p "$dir/sources.list.d" "$dir/apt.conf.d"
  while [ $# -gt 0 ]; do printf '%s\n' "$2" > "$dir/$1"; shift 2; done
  echo "$dir"
}

added() { # added DIR: off before, and afterwards on for every site and release apt reads
  local dir=$1 name=${1##*/}
  ! source_archives_enabled "$dir" || fail "$name: source archives on before they were added"
  enable_source_archives "$dir" || fail "$name: not enabled"
  source_archives_enabled "$dir" || fail "$name: still off after enabling"
  [ -n "$(targets "$dir" Packages)" ] || fail "$name: apt reads no binary archives from the case"
  [ "$(targets "$dir" Packages)" = "$(targets "$dir" Sources)" ] ||
    fail "$name: source archives differ from the binary ones: $(targets "$dir" Sources)"
}

added "$(make_case classic sources.list "$classic")"
added "$(make_case list-part sources.list.d/other.list "$classic")"
added "$(make_case deb822 sources.list.d/debian.sources "$deb822")"
added "$(make_case both sources.list "deb http://deb.debian.org/debian bookworm main" \
  sources.list.d/debian.sources "${deb822#*Components: main$'\n\n'}")"

# Source archives there already, in either form.
source_archives_enabled "$(make_case classic-on sources.list "$classic
deb-src http://deb.debian.org/debian bookworm main")" || fail "classic-on: source archives there but seen as off"
source_archives_enabled "$(make_case deb822-on sources.list.d/debian.sources "${deb822/Types: deb/Types: deb deb-src}")" ||
  fail "deb822-on: source archives there but seen as off"

# Nothing to add source archives to: a named failure.
dir=$(make_case empty)
if message=$(enable_source_archives "$dir" 2>&1); then fail "empty: enabling passed"; fi
[[ $message == *"no Debian package sources in $dir"* ]] || fail "empty: message was: $message"

exit "$failed"

# Sourced by setup.sh: turns on Debian's source archives (build-deps.sh fetches Oniguruma and libidn from
# them) on a machine whose package sources name only binary archives, in either form apt reads: the
# classic one-line entries (sources.list, sources.list.d/*.list) or the deb822 stanzas
# (sources.list.d/*.sources). Each function takes apt's configuration folder (/etc/apt on the machine).

source_archives_enabled() { # source_archives_enabled APT_DIR: true when some entry names source archives
  local apt=$1 f
  for f in "$apt/sources.list" "$apt"/sources.list.d/*.list; do
    [ -f "$f" ] && grep -Eq '^[[:space:]]*deb-src[[:space:]]' "$f" && return 0
  done
  for f in "$apt"/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -Eiq '^Types:(.*[[:space:]])?deb-src([[:space:]]|$)' "$f" && return 0
  done
  return 1
}

enable_source_archives() { # enable_source_archives APT_DIR: a source entry beside every binary one
  local apt=$1 f classic='' stanzas=''
  for f in "$apt/sources.list" "$apt"/sources.list.d/*.list; do
    [ -f "$f" ] && classic+=$(sed -En 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f")$'\n'
  done
  for f in "$apt"/sources.list.d/*.sources; do
    [ -f "$f" ] && stanzas+=$(sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f")$'\n\n'
  done
  [[ $classic == *deb-src* ]] && printf '%s' "$classic" > "$apt/sources.list.d/debian-src.list"
  [[ $stanzas == *'Types: deb-src'* ]] && printf '%s' "$stanzas" > "$apt/sources.list.d/debian-src.sources"
  source_archives_enabled "$apt" || { echo "no Debian package sources in $apt to add source archives to" >&2; return 1; }
}

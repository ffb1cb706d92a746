# Sourced as: wine-env.sh FOLDER ARCH [PREFIX]. Exports the Wine settings of a test run, makes the private
# prefix FOLDER/wineprefix-ARCH on first use (32-bit for i686, 64-bit for x86_64; wineboot's log in
# FOLDER/logs, beside the prefix the lock it is made under) and starts a persistent wineserver for it.
# PREFIX names another prefix folder in FOLDER (scripts/export.sh has its own); its wineserver ends by
# itself when its last program has.
export WINEPREFIX=$1/${3:-wineprefix-$2}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A locale every system has: under one it lacks Wine reads file names and arguments in another code page
# ("é" arrives as "C)"); the user's own locale setting is left out so that it cannot do the same.
export LANG=${MVX_TEST_LANG:-C.UTF-8} LC_ALL=${MVX_TEST_LANG:-C.UTF-8}
if [ "$2" = i686 ]; then export WINEARCH=win32 MVX_WINE=wine; else export WINEARCH=win64 MVX_WINE=/usr/lib/wine/wine64; fi
# Made under a lock, or a second first run would delete the prefix under the first; marked ready once
# wineboot has ended, so that what a run killed on the way leaves is made again. Wine's programs get the
# lock closed, or its server, which outlives wineboot, would hold it.
if [ ! -f "$WINEPREFIX/.ready" ]; then
  mkdir -p -- "$1/logs"
  exec {mvx_prefix_lock}>"$WINEPREFIX.lock"
  flock "$mvx_prefix_lock"
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    # What a killed run left may still run in it (wineboot's programs and their server): ended first.
    if [ -d "$WINEPREFIX" ]; then wineserver -k {mvx_prefix_lock}>&- 2>/dev/null || true; fi
    rm -rf -- "$WINEPREFIX"
    "$MVX_WINE" wineboot --init {mvx_prefix_lock}>&- >"$1/logs/wineboot.log" 2>&1 ||
      { cat "$1/logs/wineboot.log" >&2; exit 1; }
    wineserver -w {mvx_prefix_lock}>&-
    touch "$WINEPREFIX/.ready"
  fi
  exec {mvx_prefix_lock}>&-
fi
if [ -z "${3:-}" ]; then
  wineserver -p 2>/dev/null || true  # already running for this prefix is fine
  # Start Wine's background services now, with their output away from the test runner: started by the
  # first test they would inherit its output pipes and keep CTest waiting.
  "$MVX_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi

#!/usr/bin/env bash
# scripts/export.sh run by a user who did not set the build up: an account made for the test, with a home
# of its own and nothing else, saves a document as DjVu from a build whose folders (and the Wine prefix
# setup's own export made) are root's. It makes a Wine prefix of its own on first use and writes nothing
# into the build. Making the account needs root: skipped (77) otherwise, and where the account cannot
# read the build (a checkout in a private home).
#   export_other_user_test.sh BUILD-ROOT
set -uo pipefail
here=$(cd -- "$(dirname -- "$0")/../.." && pwd)
build=$1
[ "$(id -u)" = 0 ] || { echo "SKIP: not root, no account can be made for the test"; exit 77; }
work=$(mktemp -d -t brindlepage-test.XXXXXX)
user=bpexport$$
cleanup() {
  local i
  # Wine's server ends a few seconds after the account's last program.
  for ((i = 0; i < 300; i++)); do
    pgrep -u "$user" >/dev/null 2>&1 || break
    sleep 0.1
  done
  rm -rf -- "$work" "/tmp/.wine-$(id -u "$user" 2>/dev/null || echo none)"
  userdel "$user" 2>/dev/null
}
useradd --no-create-home --home-dir "$work/home" --shell /bin/sh --user-group "$user" || exit 1
trap cleanup EXIT
chmod 755 "$work"
mkdir "$work/home"
chown "$user:" "$work/home"
as_user() { # as_user COMMAND...: in a fresh login's environment
  setpriv --reuid="$user" --regid="$user" --init-groups --reset-env -- "$@"
}
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

arch=$(bash "$here/scripts/test-arch.sh")
if ! as_user test -r "$build/$arch/Brindlepage/Brindlepage.dll" -a -r "$here/scripts/export.sh"; then
  echo "SKIP: $user cannot read the build or the scripts"
  exit 77
fi
/usr/bin/python3 "$here/tests/scripts/make_page_documents.py" "$work/home"
mv "$work/home/fonts.fodt" "$work/home/Brief an Zoë.fodt"
chown -R "$user:" "$work/home"

out="$work/home/Zoë Brief.djvu"
as_user env MVX_BUILD_DIR="$build" bash "$here/scripts/export.sh" "$work/home/Brief an Zoë.fodt" "$out" >"$work/out" 2>&1 ||
  fail "the export failed: $(cat "$work/out")"
[ "$(djvused -e n "$out" 2>/dev/null)" = 1 ] || fail "no 1-page file: $(cat "$work/out")"
[ "$(stat -c %U -- "$out" 2>/dev/null)" = "$user" ] || fail "the file is not the user's"
prefixes=("$work"/home/.cache/brindlepage/*/wineprefix-export-"$arch")
[ -d "${prefixes[0]}" ] || fail "no Wine prefix in the user's cache: $(find "$work/home" -maxdepth 3)"
written=$(find "$build" -maxdepth 3 -user "$user" -print -quit)
[ -z "$written" ] || fail "the user wrote into the build: $written"
exit "$failed"

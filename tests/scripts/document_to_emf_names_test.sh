#!/usr/bin/env bash
# scripts/document-to-emf.sh converts a document where it lies, under its own name, in a folder the user
# cannot write (as root: run as nobody), leaving nothing there: a one-page text document (flat ODF) named
# with a leading dash, quotes, spaces, accents and a newline gets the picture it links to by a relative name
# beside it (a bitmap record on its page), and its footer's file-name field prints that name; one whose name
# is not UTF-8 is converted too, its field printing U+FFFD for the byte that is not; data.csv's page header
# names its sheet "data".
#   document_to_emf_names_test.sh
set -uo pipefail
here=$(cd -- "$(dirname -- "$0")/../.." && pwd)
work=$(mktemp -d -t brindlepage-test.XXXXXX)
trap 'chmod -R u+w -- "$work"; rm -rf -- "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

chmod 755 "$work"
mkdir "$work/documents" "$work/user"
/usr/bin/python3 -c 'from PIL import Image; import sys; Image.new("RGB", (60, 40), (200, 30, 30)).save(sys.argv[1])' \
  "$work/documents/pic.png"
fodt() { # fodt FILE: a 10 x 8 cm page, a line and the picture pic.png, the file's name in the footer
  cat >"$1" <<'FODT'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:automatic-styles>
  <style:page-layout style:name="small"><style:page-layout-properties fo:page-width="10cm" fo:page-height="8cm"
   fo:margin="1cm"/><style:footer-style/></style:page-layout>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Standard" style:page-layout-name="small">
   <style:footer><text:p>File: <text:file-name text:display="name-and-extension"/></text:p></style:footer>
  </style:master-page>
 </office:master-styles>
 <office:body><office:text>
  <text:p>A picture linked by its name:</text:p>
  <text:p><draw:frame draw:name="picture" text:anchor-type="as-char" svg:width="3cm" svg:height="2cm"><draw:image
   xlink:href="pic.png" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame></text:p>
 </office:text></office:body>
</office:document>
FODT
}
names=($'-it\'s "März" Bericht\nQ1.fodt' $'\xff-alt.fodt')
for name in "${names[@]}"; do fodt "$work/documents/$name"; done
printf 'Name,City\nAda,Bern\n' >"$work/documents/data.csv"
chmod a-w "$work/documents"
before=$(ls -A "$work/documents")
as_user=() scripts=$here/scripts
if [ "$(id -u)" = 0 ]; then
  chown 65534 "$work/user"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work/user")
  # A clone in a folder of root's own (mktemp's) is closed to nobody: the scripts are run from a copy.
  "${as_user[@]}" test -r "$scripts/document-to-emf.sh" || { cp -r -- "$scripts" "$work/scripts"; scripts=$work/scripts; }
fi

# check NAME OUT PICTURE TEXT...: the page of the document NAME, converted into OUT, draws each TEXT (the
# lines of its runs), and a bitmap when PICTURE is 1
check() {
  local name=$1 out=$work/user/$2 picture=$3
  shift 3
  # From the user's own folder: LibreOffice's launcher fails in a folder it cannot enter (the test's, there).
  (cd "$work/user" && "${as_user[@]}" env TMPDIR="$work/user" bash "$scripts/document-to-emf.sh" \
    "$work/documents/$name" "$out") >"$out.log" 2>&1 || { fail "$(printf %q "$name"): conversion failed: $(cat "$out.log")"; return 1; }
  /usr/bin/python3 - "$here/scripts" "$out/page-0001.emf" "$picture" "$@" <<'PY' || { fail "$(printf %q "$name")"; return 1; }
import sys
sys.path.insert(0, sys.argv[1])
from emf_add_link import text_runs
from emf_records import Emf
EMR_STRETCHDIBITS = 81
emf = Emf.read(sys.argv[2])
text = '\n'.join(run[3] for run in text_runs(emf))
faults = ['the page does not draw %r: %r' % (want, text) for want in sys.argv[4:] if want not in text]
pictures = sum(kind == EMR_STRETCHDIBITS for kind, _ in emf.records)
if (pictures > 0) != (sys.argv[3] == '1'):
    faults.append('%d pictures on the page' % pictures)
sys.exit('; '.join(faults) or None)
PY
}
# Both at once, each with its own LibreOffice (a fault is told in the background, counted by its status).
check "${names[0]}" out-0 1 $'File: -it\'s "März" Bericht\nQ1.fodt' &
# Its picture is not found through the link it is opened by; its name shows as Wine shows it (LibreOffice
# draws the U+FFFD apart, in another font).
check "${names[1]}" out-1 0 'File: ' '-alt.fodt' $'\xef\xbf\xbd' &
# A spreadsheet's page header names its sheet, which LibreOffice names after the file.
check data.csv out-2 0 data &
for job in 1 2 3; do wait "%$job" || failed=1; done
after=$(ls -A "$work/documents")
[ "$after" = "$before" ] || fail "the documents' folder changed: $(diff <(echo "$before") <(echo "$after"))"
exit "$failed"

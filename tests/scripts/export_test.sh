#!/usr/bin/env bash
# scripts/export.sh end to end, on a fresh build: two first exports at once both work while one makes the
# Wine prefix, which, given to another user, is refused before any work with what to do (as root), and,
# left half made with a program of Wine's running in it, is made anew once that program is ended; a
# two-slide presentation (flat ODF, so PowerPoint plays the host) goes through LibreOffice into page
# metafiles and through the registered add-in into a DjVu file whose pages ddjvu renders and whose text
# djvutxt reads, with a line per page of each stage; a bold line keeps its weight; translucent
# shapes keep their colours; the sample report's metafiles go through Excel under a name of the user's
# and, piped, tell each page as it is exported (documents, folders, outputs and names with spaces,
# capitals, accents and a leading dash, given as they are in the current folder); a read-only target keeps
# its bytes and the user reads the library's message; a missing document, a type it does not handle, an
# output that is the document itself or a folder or, to Windows, another file of its folder or no name at
# all, a folder that cannot be written and an unknown host are refused before any work, random bytes named
# .docx or .pdf once LibreOffice or poppler cannot read them. Stopped while LibreOffice works, it leaves no
# temporary folder, killed outright only folders named after the program. A python3 that lacks Debian's
# modules is first in PATH.
# Six exports at once on the made prefix all work, none registering the add-in again.
# An output whose path is not UTF-8 is refused before any work, the file of that name kept; a folder whose
# name is not UTF-8 is exported.
# A link that leads round a loop is refused naming the loop, a folder named as a document saying what it must
# hold, a PDF that needs a password saying so.
# A UTF-8 CSV, with or without a byte-order mark, keeps its accents in the text layer.
# A PDF's and a .docx's links, to URLs and to their own pages, become map areas where the PDF has them.
#   export_test.sh BUILD-ROOT
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
export_sh() { bash "$here/scripts/export.sh" "$@"; }
# A fresh build (the product's, linked) and a cache of the test's own, where the first export makes the
# Wine prefix.
arch=$(bash "$here/scripts/test-arch.sh")
mkdir "$work/build" "$work/cache"
ln -s "$1/$arch" "$work/build/$arch"
export MVX_BUILD_DIR=$work/build XDG_CACHE_HOME=$work/cache
# Another Python first in PATH, as a user's own installation may put it, without Debian's modules: the
# scripts call the system's.
mkdir "$work/bin"
printf '#!/bin/sh\necho "a python3 without the modules the scripts need" >&2\nexit 1\n' >"$work/bin/python3"
chmod +x "$work/bin/python3"
export PATH=$work/bin:$PATH

# Two first exports at once, the second started while the first makes the prefix: it waits for that
# prefix (a mark put into it then is still there after both) and both work.
export_sh "$here/samples/report/pages" "$work/first.djvu" >"$work/first.out" 2>&1 &
first=$!
drive_c=
for ((i = 0; i < 300; i++)); do
  drive_c=$(compgen -G "$work/cache/brindlepage/*/wineprefix-export-$arch/drive_c") && break
  sleep 0.1
done
# Without the prefix's folder the mark would go to the root folder's.
[ -z "$drive_c" ] || touch "$drive_c/made-once"
export_sh "$here/samples/report/pages" "$work/second.djvu" >"$work/second.out" 2>&1 ||
  fail "the second of two first exports failed: $(cat "$work/second.out")"
wait "$first" || fail "the first of two first exports failed: $(cat "$work/first.out")"
for one in first second; do
  [ "$(djvused -e n "$work/$one.djvu" 2>/dev/null)" = 3 ] || fail "$one of two first exports: not 3 pages"
done
if [ -z "$drive_c" ]; then
  fail "the first of two first exports made no Wine prefix in $work/cache within 30 s"
elif [ ! -e "$drive_c/made-once" ]; then
  fail "the second of two first exports made the prefix again under the first"
fi

# The user's Wine prefix owned by another user, as root's is when an export ran under a sudo that kept HOME:
# refused before any work, saying whose it is and what to do. Only root can give a folder away.
if [ "$(id -u)" = 0 ] && [ -n "$drive_c" ]; then
  state=${drive_c%/wineprefix-export-*}
  chown -R 65534 "$state"
  export_sh "$here/samples/report/pages" "$work/foreign.djvu" >"$work/foreign.out" 2>&1
  [ $? = 1 ] && grep -qF "$state belongs to" "$work/foreign.out" && grep -q "(uid 65534), not to you" "$work/foreign.out" &&
    grep -q "XDG_CACHE_HOME" "$work/foreign.out" && [ ! -e "$work/foreign.djvu" ] ||
    fail "a prefix of another user's: $(cat "$work/foreign.out")"
  chown -R "$(id -u):$(id -g)" "$state"
fi

# A prefix left half made (not marked ready) with a program of Wine's still running in it, as a first export
# killed in wineboot leaves it: the next export ends that program before it makes the prefix anew, and works.
if [ -n "$drive_c" ]; then
  prefix=${drive_c%/drive_c}
  mkfifo "$work/stdin"
  sleep 600 >"$work/stdin" &
  feeder=$!
  # A console waiting for its input, started as Wine starts programs (start.exe /exec cmd.exe).
  (source "$here/scripts/wine-env.sh" "${prefix%/*}" "$arch" "${prefix##*/}" &&
    exec "$MVX_WINE" cmd.exe /k) <"$work/stdin" >/dev/null 2>&1 &
  stray=$!
  for ((i = 0; i < 100; i++)); do
    ! grep -q 'start\.exe' "/proc/$stray/cmdline" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$prefix/.ready"
  export_sh "$here/samples/report/pages" "$work/remade.djvu" >"$work/remade.out" 2>&1 ||
    fail "after a half-made prefix: $(cat "$work/remade.out")"
  [ -f "$prefix/.ready" ] || fail "a half-made prefix was not made again"
  ! kill -0 "$stray" 2>/dev/null || { fail "a program left running in a half-made prefix still runs"; kill "$stray"; }
  kill "$feeder"
fi

# Six exports at once on the made prefix, of a one-page folder: all six work, and none registers the add-in
# again (under another's starting host): the class keys in the prefix's registry keep the times they were
# written at, as Wine's server saves them when it ends.
mkdir "$work/one-page"
cp "$here/samples/report/pages/page-0001.emf" "$work/one-page/"
classes() { # the class keys of the export prefix's registry, with the times they were written at
  [ -z "$drive_c" ] ||
    (source "$here/scripts/wine-env.sh" "${drive_c%/wineprefix-export-*}" "$arch" "wineprefix-export-$arch" &&
      wineserver -w && grep -aF '[Software\\Classes\\' "$WINEPREFIX/system.reg")
}
before=$(classes)
for i in 1 2 3 4 5 6; do
  export_sh "$work/one-page" "$work/at-once-$i.djvu" >"$work/at-once-$i.out" 2>&1 &
  at_once[i]=$!
done
for i in 1 2 3 4 5 6; do
  wait "${at_once[i]}" && [ "$(djvused -e n "$work/at-once-$i.djvu" 2>/dev/null)" = 1 ] ||
    fail "export $i of six at once: $(cat "$work/at-once-$i.out")"
done
after=$(classes)
[ "$after" = "$before" ] ||
  fail "six at once: class keys written again: $(diff <(echo "$before") <(echo "$after") | grep '^>' | head -3)"

/usr/bin/python3 "$here/tests/scripts/make_page_documents.py" "$work"
cp "$work/slides.fodp" "$work/-Präsentation März.fodp"
out="$work/-Élan à ÜBER-été.djvu"
(cd "$work" && export_sh "-Präsentation März.fodp" "-Élan à ÜBER-été.djvu") >"$work/slides.out" 2>&1 ||
  fail "slides: export failed: $(cat "$work/slides.out")"
expected="page 1 of 2 drawn (280.0 x 157.5 mm)
page 2 of 2 drawn (280.0 x 157.5 mm)
save dialog \"Save as DjVu file\" proposes \"-Präsentation März.djvu\": the user answers *-Élan à ÜBER-été.djvu
page 1 of 2 exported (page-0001.emf)
page 2 of 2 exported (page-0002.emf)
export finished: 2 pages
$out: 2 pages, * bytes"
# The lines in order, the host's start line aside; * stands for any text.
got=$(grep -v '^PowerPoint: add-in started from ' "$work/slides.out")
n=0
while IFS= read -r want; do
  n=$((n + 1))
  line=$(sed -n "${n}p" <<<"$got")
  # shellcheck disable=SC2053
  [[ $line == $want ]] || fail "slides: line $n is '$line', expected '$want'"
done <<<"$expected"
[ "$(wc -l <<<"$got")" = 7 ] || fail "slides: $(wc -l <<<"$got") lines: $got"
grep -q '^PowerPoint: add-in started from ' "$work/slides.out" || fail "slides: PowerPoint did not start the add-in"
for page in 1 2; do
  ddjvu -format=pgm -page=$page "$out" "$work/slide-$page.pgm" || fail "slides: ddjvu cannot render page $page"
  [ "$(head -c 2 "$work/slide-$page.pgm" 2>/dev/null)" = P5 ] || fail "slides: page $page is no image"
  djvutxt --page=$page "$out" | grep -q "Slide $page, point 3: placed where the slide puts it" ||
    fail "slides: page $page lacks its text: $(djvutxt --page=$page "$out")"
done

# Bold stays bold: of a plain, a bold and an italic line of one size, the bold one has the most ink in ddjvu's
# render, as in the PDF (about 1.5 times the plain line's in both).
out=$work/fonts.djvu
export_sh "$work/fonts.fodt" "$out" >"$work/fonts.out" 2>&1 || fail "fonts: export failed: $(cat "$work/fonts.out")"
ddjvu -format=pgm -page=1 "$out" "$work/fonts.pgm" && /usr/bin/python3 "$here/tests/scripts/line_ink.py" "$work/fonts.pgm" >"$work/fonts.ink" ||
  fail "fonts: no render"
[ "$(wc -l <"$work/fonts.ink")" = 3 ] && awk 'NR == 1 { plain = $3 } NR == 2 { bold = $3 } END { exit !(bold >= 1.3 * plain) }' \
  "$work/fonts.ink" || fail "fonts: the bold line's ink is not 1.3 times the plain line's: $(tr '\n' ';' <"$work/fonts.ink")"

# Translucency kept: of a red square half under a black one of 50 % opacity, and of a blue backdrop under a
# caption box 45 % transparent, ddjvu's render has the colours of poppler's render of the slide's PDF (the
# overlap about 127,0,0, the black square's other half grey); the caption stays text.
soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to pdf --outdir "$work" \
  "$work/translucent.fodp" </dev/null >/dev/null 2>&1
out=$work/translucent.djvu
export_sh "$work/translucent.fodp" "$out" >"$work/translucent.out" 2>&1 ||
  fail "translucent: export failed: $(cat "$work/translucent.out")"
ddjvu -format=ppm -page=1 "$out" "$work/translucent.ppm" && pdftoppm -r 300 -singlefile "$work/translucent.pdf" \
  "$work/translucent-ref" || fail "translucent: no render"
# Red, red under black, black over white, the backdrop, the backdrop under the caption box.
/usr/bin/python3 "$here/tests/scripts/compare_colours.py" "$work/translucent.ppm" "$work/translucent-ref.ppm" 300 16 \
  35,50 65,50 95,50 190,30 230,90 >"$work/translucent.colours" || fail "translucent: $(cat "$work/translucent.colours")"
djvutxt "$out" | grep -q "Caption over the backdrop" || fail "translucent: the caption is not text: $(djvutxt "$out")"

# Links: a PDF's URI link and links to its own pages (by a destination, and by a named one from a page
# turned by a quarter) become map areas of their pages where the PDF has them (300 dpi, from the bottom
# left); so do a .docx's hyperlink and its link to a bookmark on its second page.
/usr/bin/python3 - "$work/links.pdf" <<'PY'
import sys
import pikepdf
pdf = pikepdf.new()
font = pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1, BaseFont=pikepdf.Name.Helvetica)
for text, turn in ((b'A site and the next page', 0), (b'Back to the first page', 90)):
    page = pdf.make_indirect(pikepdf.Dictionary(
        Type=pikepdf.Name.Page, MediaBox=[0, 0, 300, 200], Rotate=turn,
        Resources=pikepdf.Dictionary(Font=pikepdf.Dictionary(F1=font)),
        Contents=pdf.make_stream(b'BT /F1 14 Tf 20 150 Td (%s) Tj ET' % text)))
    pdf.pages.append(pikepdf.Page(page))
first, second = pdf.pages[0].obj, pdf.pages[1].obj
def link(rect, **target):
    return pdf.make_indirect(pikepdf.Dictionary(Type=pikepdf.Name.Annot, Subtype=pikepdf.Name.Link, Rect=rect,
                                                **target))
# With links that lead nowhere or are damaged, which are left out.
first.Annots = pikepdf.Array([
    link([20, 145, 50, 165], A=pikepdf.Dictionary(S=pikepdf.Name.URI, URI=pikepdf.String('https://example.com/a?b=1'))),
    link([60, 145, 140, 165], Dest=pikepdf.Array([second, pikepdf.Name.Fit])),
    link([0, 0, 10, 10], Dest=pikepdf.String('nowhere')), link([0, 0, 10, 10], Dest=pikepdf.Array([7, pikepdf.Name.Fit])),
    link([0, 0, 10, 10], A=pikepdf.Dictionary(S=pikepdf.Name.URI)), link('rect', Dest=pikepdf.Array([second])),
    pikepdf.Name.Link, link([0, 0, 10, 10], A=pikepdf.Dictionary(S=pikepdf.Name.Launch, F=pikepdf.String('x.exe')))])
second.Annots = pikepdf.Array([link([20, 145, 120, 165], A=pikepdf.Dictionary(S=pikepdf.Name.GoTo,
                                                                             D=pikepdf.String('start')))])
pdf.Root.Names = pikepdf.Dictionary(Dests=pikepdf.Dictionary(
    Names=pikepdf.Array([pikepdf.String('start'), pikepdf.Array([first, pikepdf.Name.Fit])])))
pdf.save(sys.argv[1])
PY
cat >"$work/links.fodt" <<'FODT'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:automatic-styles>
  <style:page-layout style:name="small"><style:page-layout-properties fo:page-width="10cm" fo:page-height="8cm"
   fo:margin="1cm"/></style:page-layout>
  <style:style style:name="next" style:family="paragraph"><style:paragraph-properties fo:break-before="page"/></style:style>
 </office:automatic-styles>
 <office:master-styles><style:master-page style:name="Standard" style:page-layout-name="small"/></office:master-styles>
 <office:body><office:text>
  <text:p>Visit <text:a xlink:type="simple" xlink:href="https://example.org/docs">the site</text:a> or <text:a
   xlink:type="simple" xlink:href="#closing">the end</text:a>.</text:p>
  <text:p text:style-name="next"><text:bookmark text:name="closing"/>The end.</text:p>
 </office:text></office:body>
</office:document>
FODT
soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to docx --outdir "$work" "$work/links.fodt" \
  </dev/null >/dev/null 2>&1
maparea() { # maparea DJVU PAGE TARGET: "x y width height" of the page's map area to TARGET, nothing without one
  djvused "$1" -e "select $2; print-ant" 2>/dev/null |
    awk -v area="(maparea \"$3\" " 'index($0, area) == 1 { sub(/.*\(rect /, ""); sub(/ *\).*/, ""); print }'
}
# A CSV in UTF-8, with and without a byte-order mark: its text layer has the names as written, and no mark.
printf 'Name,City\n"José Núñez",Zürich\n' >"$work/data.csv"
printf '\xef\xbb\xbfName,City\n"José Núñez",Zürich\n' >"$work/marked.csv"
# These four exported at once.
declare -A exporting
for document in links.pdf links.docx data.csv marked.csv; do
  export_sh "$work/$document" "$work/$document.djvu" >"$work/$document.out" 2>&1 &
  exporting[$document]=$!
done
for document in links.pdf links.docx; do
  wait "${exporting[$document]}" || { fail "$document: export failed: $(cat "$work/$document.out")"; continue; }
  while read -r listed page target want; do
    [ "$listed" = "$document" ] || continue
    got=$(maparea "$work/$document.djvu" "$page" "$target")
    # Within 2 pixels of the PDF's rectangle, or anywhere when none is given.
    [ -n "$got" ] && awk -v got="$got" -v want="$want" 'BEGIN { split(got, g); n = split(want, w)
      for (i = 1; i <= n; i++) if (g[i] - w[i] > 2 || w[i] - g[i] > 2) exit 1 }' ||
      fail "$document: page $page's map area to $target is '$got', not '$want': $(djvused "$work/$document.djvu" \
        -e "select $page; print-ant" 2>&1)"
  done <<'AREAS'
links.pdf 1 https://example.com/a?b=1 83 604 125 83
links.pdf 1 #2 250 604 333 83
links.pdf 2 #1 604 750 83 417
links.docx 1 https://example.org/docs
links.docx 1 #2
AREAS
  areas=$(djvused "$work/$document.djvu" -e 'select 1; print-ant' 2>/dev/null | grep -c '^(maparea')
  [ "$areas" = 2 ] || fail "$document: $areas map areas on page 1, not 2"
done

for csv in data marked; do
  wait "${exporting[$csv.csv]}" || { fail "$csv.csv: export failed: $(cat "$work/$csv.csv.out")"; continue; }
  text=$(djvutxt "$work/$csv.csv.djvu")
  for want in "José Núñez" Zürich; do
    grep -qF "$want" <<<"$text" || fail "$csv.csv: the text layer lacks $want: $text"
  done
  ! grep -qF -e $'\xef\xbb\xbf' -e 'ï»¿' <<<"$text" || fail "$csv.csv: the text layer holds the mark: $text"
done

# Metafiles as they are, from a folder, through Excel, under a name the user gives the document, into
# another folder over a file the user is told is replaced.
mkdir "$work/-Ablage"
out="$work/-Ablage/Zahlen für Öl.djvu"
echo "old bytes" >"$out"
cp -r "$here/samples/report/pages" "$work/-Seiten des Berichts (ß)"
(cd "$work" && export_sh --host Excel --name "Quartalszahlen Übersicht.xlsx" "-Seiten des Berichts (ß)" \
  "-Ablage/Zahlen für Öl.djvu") >"$work/sample.out" 2>&1 || fail "sample: export failed: $(cat "$work/sample.out")"
grep -q '^Excel: add-in started from ' "$work/sample.out" || fail "sample: Excel did not start the add-in"
grep -q 'proposes "Quartalszahlen Übersicht.djvu"' "$work/sample.out" || fail "sample: $(cat "$work/sample.out")"
[ "$(head -1 "$work/sample.out")" = "$out exists: the export replaces it" ] || fail "sample: not told: $(cat "$work/sample.out")"
[ "$(djvused -e n "$out" 2>/dev/null)" = 3 ] || fail "sample: not 3 pages"

# Piped, as into tee: each page's line comes as the page is exported, before the file is written at the end.
out=$work/piped.djvu
export_sh "$here/samples/report/pages" "$out" 2>&1 | {
  while IFS= read -r line; do
    [[ $line != "page 1 of 3 exported"* ]] || { [ ! -e "$out" ] || echo "the file was written before"; echo "page 1 told"; }
  done
} >"$work/piped.out"
[ "$(cat "$work/piped.out")" = "page 1 told" ] || fail "piped: page 1's line came late: $(cat "$work/piped.out")"

# A read-only target: the old bytes stay, the user is told why, the script fails.
out=$work/read-only.djvu
echo "old bytes" >"$out"
chmod a-w "$out"
if export_sh "$here/samples/report/pages" "$out" >"$work/ro.out" 2>&1; then fail "read-only: the export succeeded"; fi
grep -q '^message box "DjVu Related Error": ' "$work/ro.out" || fail "read-only: no message: $(cat "$work/ro.out")"
[ "$(cat "$out")" = "old bytes" ] || fail "read-only: the old file changed"

# Refusals before any work.
export_sh "$work/missing.docx" "$work/missing.djvu" >"$work/missing.out" 2>&1
[ $? = 1 ] && grep -q "no such document" "$work/missing.out" || fail "missing document: $(cat "$work/missing.out")"
# A link that leads round a loop is named with the loop, a folder named as a document said to be one and
# what it must hold.
ln -s loop-b.docx "$work/loop-a.docx"
ln -s loop-a.docx "$work/loop-b.docx"
mkdir "$work/folder.docx"
while IFS='|' read -r document message; do
  export_sh "$work/$document" "$work/refused.djvu" >"$work/refused.out" 2>&1
  [ $? = 1 ] && grep -qF "$message" "$work/refused.out" && [ ! -e "$work/refused.djvu" ] ||
    fail "$document: $(cat "$work/refused.out")"
done <<'CASES'
loop-a.docx|/loop-a.docx -> loop-b.docx -> loop-a.docx
folder.docx|folder.docx is a folder without page metafiles: a folder given as the document must hold its pages, a metafile each (*.emf, in name order)
CASES
# An output that is the document, by its own name, through a link or through "..": the document stays.
mkdir "$work/sub"
ln -s slides.fodp "$work/link.fodp"
cp "$work/slides.fodp" "$work/slides.orig"
for same in "$work/slides.fodp" "$work/link.fodp" "$work/sub/../slides.fodp"; do
  export_sh "$work/slides.fodp" "$same" >"$work/same.out" 2>&1
  [ $? = 1 ] && grep -q "is the document itself" "$work/same.out" && ! grep -q drawn "$work/same.out" ||
    fail "output $same: $(cat "$work/same.out")"
  cmp -s "$work/slides.fodp" "$work/slides.orig" || { fail "output $same: the document changed"; cp "$work/slides.orig" "$work/slides.fodp"; }
done
# Names Wine would take for another file there, whatever their case (the document itself, a file the user
# is not told is replaced), or that Windows cannot hold: refused before any work, the files there untouched.
echo "old bytes" >"$work/old.djvu"
refused() { # refused DOCUMENT OUT MESSAGE
  rm -f "$work/refused.out"
  export_sh "$1" "$2" >"$work/refused.out" 2>&1
  [ $? = 1 ] && grep -qF "$3" "$work/refused.out" && ! grep -q 'drawn\|exported' "$work/refused.out" &&
    [ ! -e "$2" ] || fail "output $(printf %q "$2"): $(cat "$work/refused.out")"
}
refused "$work/slides.fodp" "$work/SLIDES.fodp" "names slides.fodp to Windows, which ignores case"
for twin in OLD.djvu Old.DjVu; do
  refused "$here/samples/report/pages" "$work/$twin" "names old.djvu to Windows, which ignores case"
done
for name in 'a\b' a:b 'a*b' 'a?b' 'a"b' 'a<b' 'a>b' 'a|b'; do
  refused "$here/samples/report/pages" "$work/$name.djvu" 'a Windows name cannot hold \ : * ? " < > |'
done
for name in $'tab\there.djvu' $'line\nend.djvu' $'end\n'; do
  refused "$here/samples/report/pages" "$work/$name" "a Windows name cannot hold control characters"
done
for name in "dot.djvu." "space.djvu "; do
  refused "$here/samples/report/pages" "$work/$name" "Windows drops a dot or a space at the end of a name"
done
for name in con.djvu NUL.djvu Aux.tar.djvu com1.djvu LPT9.djvu "prn .djvu"; do
  refused "$here/samples/report/pages" "$work/$name" "for a device"
done
cmp -s "$work/slides.fodp" "$work/slides.orig" || fail "case: the document changed"
[ "$(cat "$work/old.djvu")" = "old bytes" ] || fail "case: old.djvu changed"
# An OUT whose path is not UTF-8, which Wine would write under another name (U+FFFD for the byte), over a
# file of that name: refused before any work, the file kept and no other written. A folder of metafiles
# whose path is not UTF-8 is exported.
bad=$work/$'\xff-old.djvu'
echo "old bytes" >"$bad"
export_sh "$work/one-page" "$bad" >"$work/bad.out" 2>&1
[ $? = 1 ] && grep -q "the path is not UTF-8" "$work/bad.out" && ! grep -q exported "$work/bad.out" &&
  [ "$(cat "$bad")" = "old bytes" ] && [ ! -e "$work/"$'\xef\xbf\xbd-old.djvu' ] ||
  fail "output not UTF-8: $(cat "$work/bad.out"; ls "$work" | grep old.djvu)"
cp -r "$work/one-page" "$work/"$'\xfe-pages'
export_sh "$work/"$'\xfe-pages' "$work/not-utf8.djvu" >"$work/not-utf8.out" 2>&1 &&
  [ "$(djvused -e n "$work/not-utf8.djvu" 2>/dev/null)" = 1 ] ||
  fail "a folder whose name is not UTF-8: $(cat "$work/not-utf8.out")"

# What cannot be exported: a type the script does not handle, random bytes named as a Word document and
# as a PDF, and a PDF that needs a password to be opened; nothing is written.
head -c 5120 /dev/urandom >"$work/noise.docx"
cp "$work/noise.docx" "$work/noise.pdf"
cp "$work/noise.docx" "$work/noise.png"
/usr/bin/python3 -c 'import pikepdf, sys
pdf = pikepdf.new()
pdf.add_blank_page()
pdf.save(sys.argv[1], encryption=pikepdf.Encryption(user="secret", owner="secret"))' "$work/locked.pdf"
while IFS='|' read -r document message; do
  export_sh "$work/$document" "$work/noise.djvu" >"$work/noise.out" 2>&1
  [ $? = 1 ] && grep -q "$message" "$work/noise.out" && [ ! -e "$work/noise.djvu" ] ||
    fail "$document: $(cat "$work/noise.out")"
  rm -f "$work/noise.djvu"
done <<'CASES'
noise.png|noise.png is of none of the types it exports:
noise.docx|LibreOffice cannot open .*noise.docx as a .docx document
noise.pdf|no page in the PDF of .*noise.pdf
locked.pdf|locked.pdf needs a password to be opened
CASES
export_sh "$work/noise.png" "$work/noise.djvu" >"$work/noise.out" 2>&1
grep -q '^  PowerPoint: .*\.pptx' "$work/noise.out" || fail "noise.png: the types it exports are not listed"

# A folder that cannot be written (a system folder where the permissions do not stop the user, as for root),
# and a folder as the output.
mkdir "$work/locked"
chmod a-w "$work/locked"
for locked in "$work/locked" /sys; do
  touch "$locked/probe" 2>/dev/null || break
  rm -f "$locked/probe"
done
export_sh "$work/slides.fodp" "$locked/slides.djvu" >"$work/locked.out" 2>&1
[ $? = 1 ] && grep -q "the folder $locked cannot be written" "$work/locked.out" && ! grep -q drawn "$work/locked.out" ||
  fail "unwritable folder: $(cat "$work/locked.out")"
export_sh "$work/slides.fodp" "$work/sub" >"$work/folder.out" 2>&1
[ $? = 1 ] && grep -q "is a folder" "$work/folder.out" && ! grep -q drawn "$work/folder.out" ||
  fail "folder as output: $(cat "$work/folder.out")"
export_sh --host Writer "$work/slides.fodp" "$work/x.djvu" >"$work/host.out" 2>&1
[ $? = 2 ] && grep -q "usage:" "$work/host.out" || fail "unknown host: $(cat "$work/host.out")"

# An export stopped while LibreOffice draws the pages: by the signal of a Ctrl-C or a shutdown (the whole
# process group), its temporary folders go, LibreOffice's own files among them; killed outright, they stay,
# named after the program, LibreOffice's inside them.
stopped() { # stopped SIGNAL: start an export, send SIGNAL to its group once LibreOffice works, wait for it
  mkdir -p "$work/tmp"
  TMPDIR=$work/tmp setsid bash "$here/scripts/export.sh" "$work/fonts.fodt" "$work/stopped.djvu" >/dev/null 2>&1 &
  local pid=$! i
  for ((i = 0; i < 600; i++)); do
    ! compgen -G "$work/tmp/*/profile" >/dev/null || break
    sleep 0.1
  done
  sleep 0.5 # LibreOffice's own temporary files come next
  kill -"$1" -- -"$pid"
  wait "$pid" 2>/dev/null
  # What it started and left may still be ending.
  for ((i = 0; i < 100; i++)); do
    ! pgrep -s "$pid" >/dev/null || sleep 0.1
  done
}
# Wine keeps its server's folder there (wine-XXXXXX), for every later run, as it keeps /tmp/.wine-UID.
ours() { ls -A "$work/tmp" | grep -v '^wine-'; }
stopped TERM
[ -z "$(ours)" ] || fail "stopped: left in the temporary folder: $(ours)"
stopped KILL
left=$(ours)
[ -n "$left" ] && ! grep -qv '^brindlepage\.' <<<"$left" || fail "killed: left in the temporary folder: $left"
exit "$failed"

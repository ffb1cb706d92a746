#!/usr/bin/env bash
# scripts/document-to-emf.sh, lacking one of the tools or Python modules that its pages need, refuses the
# document before LibreOffice is given it, naming what is missing: each tool left out of PATH (a folder of
# links to the system's programs but that one), each module hidden by a broken one of its name first in
# PYTHONPATH; an fc-list that fails is told in a line. LibreOffice is a stand-in that records being run.
#   document_to_emf_tools_test.sh
set -uo pipefail
here=$(cd -- "$(dirname -- "$0")/../.." && pwd)
work=$(mktemp -d -t brindlepage-test.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

mkdir "$work/bin"
ln -s /usr/bin/* "$work/bin/" 2>/dev/null
rm -f "$work/bin/soffice"
printf '#!/bin/sh\necho run >>"%s/soffice-runs"\n' "$work" >"$work/bin/soffice"
chmod +x "$work/bin/soffice"
echo '<?xml version="1.0" encoding="UTF-8"?>' >"$work/letter.fodt"

refused() { # refused WHAT: the conversion fails naming WHAT, LibreOffice not run
  rm -f "$work/soffice-runs"
  PATH=$work/bin /bin/bash "$here/scripts/document-to-emf.sh" "$work/letter.fodt" "$work/out" >"$work/out.log" 2>&1
  [ $? = 1 ] && grep -q "$1" "$work/out.log" && [ ! -e "$work/soffice-runs" ] ||
    fail "without $1: $(cat "$work/out.log")$([ ! -e "$work/soffice-runs" ] || echo " (LibreOffice was run)")"
}

for tool in pdftoppm fc-list pdfinfo pdfseparate soffice; do
  mv "$work/bin/$tool" "$work/aside"
  refused "$tool is missing"
  mv "$work/aside" "$work/bin/$tool"
done
for module in pikepdf PIL pdfminer; do
  mkdir -p "$work/python/$module"
  echo 'raise ImportError("broken")' >"$work/python/$module/__init__.py"
  PYTHONPATH=$work/python refused "cannot import $module"
  rm -r "${work:?}/python"
done

# An fc-list that fails, on a PDF: told in a line (no traceback) before LibreOffice draws a page.
/usr/bin/python3 -c 'import pikepdf, sys; pdf = pikepdf.new(); pdf.add_blank_page(); pdf.save(sys.argv[1])' "$work/blank.pdf"
mv "$work/bin/fc-list" "$work/aside"
printf '#!/bin/sh\necho "Fontconfig error: no configuration" >&2\nexit 1\n' >"$work/bin/fc-list"
chmod +x "$work/bin/fc-list"
rm -f "$work/soffice-runs"
PATH=$work/bin /bin/bash "$here/scripts/document-to-emf.sh" "$work/blank.pdf" "$work/out" >"$work/out.log" 2>&1
[ $? = 1 ] && grep -q "cannot list the installed fonts" "$work/out.log" && ! grep -q Traceback "$work/out.log" &&
  [ ! -e "$work/soffice-runs" ] || fail "a failing fc-list: $(cat "$work/out.log")"
exit "$failed"

# Readies one-page PDFs for LibreOffice's PDF import (Draw), in place: each page becomes its visible box
# (the crop box within the media box, which the import does not apply) with a white background of that
# size painted first. The import sizes its drawing to the content; the background keeps the page's extent,
# and emf_page_frame.py finds the page again by it. The import gives its drawing page a bottom margin of
# 10 mm whatever the content, and Draw's export leaves out all that lies wholly within a margin (a low
# footer, a box near the bottom edge): the media box reaches that far below the page, so that the margin
# holds nothing of it. What its annotations draw becomes content (links stay annotations), and what the page
# draws translucently becomes opaque pictures of it (pdf_flatten.py); the rest of its content, fonts
# included, is left as it is, so the import reads their names, weights and slants as the document wrote
# them, but for the private-use characters of embedded symbol fonts, which get the installed font's code
# points for their glyphs (pdf_symbol_codes.py).
#   pdf_import_pages.py PAGE.pdf...   (prints nothing; names the file and exits 1 when one cannot be read)
import subprocess
import sys

import pikepdf
from pdfminer.psparser import PSException

from pdf_flatten import annotations_as_content, flatten, number
from pdf_symbol_codes import InstalledOutlines, recode_symbols

# The import's bottom margin, in points, with a point to spare.
BOTTOM_MARGIN = 10 * 72 / 25.4 + 1


def visible_box(page):
    """(left, bottom, right, top) of what a viewer shows of PAGE, in its default user space."""
    media, crop = (sorted_box(box) for box in (page.mediabox, page.cropbox))
    box = (max(media[0], crop[0]), max(media[1], crop[1]), min(media[2], crop[2]), min(media[3], crop[3]))
    if box[0] >= box[2] or box[1] >= box[3]:
        raise ValueError('the crop box %s lies outside the media box %s' % (crop, media))
    return box


def sorted_box(box):
    x0, y0, x1, y1 = (number(v) for v in box)
    return min(x0, x1), min(y0, y1), max(x0, x1), max(y0, y1)


def ready_page(pdf, page):
    left, bottom, right, top = box = visible_box(page)
    page.obj.MediaBox = pikepdf.Array((left, bottom - BOTTOM_MARGIN, right, top))
    if '/CropBox' in page.obj:
        del page.obj['/CropBox']
    flatten(pdf, page, box)
    page.contents_add(pdf.make_stream(b'q 1 g %.4f %.4f %.4f %.4f re f Q\n'
                                      % (left, bottom, right - left, top - bottom)), prepend=True)


def ready(path, installed):
    with pikepdf.open(path, allow_overwriting_input=True) as pdf:
        annotations_as_content(pdf)
        for page in list(pdf.pages):
            ready_page(pdf, page)
        recode_symbols(pdf, installed)
        pdf.save(path)


if __name__ == '__main__':
    installed = InstalledOutlines()
    for path in sys.argv[1:]:
        try:
            ready(path, installed)
        # What a damaged file can raise, in qpdf, pdfminer (reading its fonts), poppler and the checks of
        # its values; anything else is a fault of the scripts', left to tell its whole story.
        except (pikepdf.PdfError, PSException, subprocess.CalledProcessError, OSError, ValueError) as problem:
            sys.exit('%s: %s: %s' % (sys.argv[0], path, problem))

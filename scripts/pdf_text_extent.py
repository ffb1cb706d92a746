# Measures what a text-showing operation of a PDF page draws: how far it moves the text position and the box
# its glyphs may cover, from the fonts' own metrics as pdfminer reads them (widths, encodings and CMaps,
# the standard fonts' metrics, vertical writing). pdf_flatten.py places them on the page.
import io
import itertools

from pdfminer.pdfdocument import PDFDocument
from pdfminer.pdfinterp import PDFResourceManager
from pdfminer.pdfpage import PDFPage
from pdfminer.pdfparser import PDFParser
from pdfminer.pdftypes import PDFObjRef, dict_value

# A glyph's box in ems from its origin for a font whose own bounding box says nothing: larger than any text
# font's glyphs, as too large a box costs only picture.
ANY_GLYPH = (-0.5, -0.5, 1.5, 1.5)


def page_fonts(pdf, page):
    """The fonts of PAGE's resources by name ('/F1'), as pdfminer reads them; None for one it cannot read."""
    data = io.BytesIO()
    pdf.save(data)
    document = PDFDocument(PDFParser(data))
    reader = next(itertools.islice(PDFPage.create_pages(document), pdf.pages.index(page), None))
    manager = PDFResourceManager()
    fonts = {}
    for name, spec in dict_value(reader.resources.get('Font', {})).items():
        objid = spec.objid if isinstance(spec, PDFObjRef) else None
        try:
            fonts['/' + name] = manager.get_font(objid, dict_value(spec))
        except Exception:  # noqa: BLE001  pdfminer meets broken font programs and CMaps with errors of any kind
            fonts['/' + name] = None
    return fonts


def glyph_box(font):
    """The box (left, bottom, right, top) any glyph of FONT covers, in ems from its origin."""
    left, bottom, right, top = font.bbox if len(font.bbox) == 4 else (0, 0, 0, 0)
    if right <= left or top <= bottom:
        return ANY_GLYPH
    return (min(left * font.hscale, 0), min(bottom * font.vscale, font.get_descent()),
            right * font.hscale, max(top * font.vscale, font.get_ascent()))


def measure(font, text, items):
    """How far showing ITEMS (the strings, as bytes, and for TJ the numbers of a text-showing operation) in FONT
    moves the text position along its line, and the box (left, bottom, right, top) its glyphs may cover, both
    in text space from the text position; the box is None when no glyph is shown. TEXT holds the text state:
    size, scale (Tz / 100), char_space, word_space, rise. None when FONT decodes no glyph from the bytes of a
    string: its advance is unknown."""
    vertical = font.is_vertical()
    size, scale = text.size, 1.0 if vertical else text.scale
    left, bottom, right, top = glyph_box(font)
    word_space = 0.0 if font.is_multibyte() else text.word_space
    at, box = 0.0, None
    for item in items:
        if not isinstance(item, bytes):
            at -= item / 1000 * size * scale
            continue
        codes = list(font.decode(item))
        if item and not codes:
            return None
        for code in codes:
            width = font.char_width(code)   # in vertical writing the (negative) vertical displacement
            if vertical:
                # The glyph hangs below and on both sides of its vertical origin, an em each way at most.
                glyph = (-size, at + min(width, -1) * size - size / 2, size, at + size / 2)
            else:
                glyph = (at + left * size * scale, bottom * size + text.rise,
                         at + max(right, width) * size * scale, top * size + text.rise)
            box = glyph if box is None else (min(box[0], glyph[0]), min(box[1], glyph[1]),
                                             max(box[2], glyph[2]), max(box[3], glyph[3]))
            at += (width * size + text.char_space + (word_space if code == 32 else 0)) * scale
    return at, box

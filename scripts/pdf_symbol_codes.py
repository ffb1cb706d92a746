# Gives the symbols of a PDF's embedded fonts the code points under which the installed font of the same
# name holds them. LibreOffice draws Word's Symbol and Wingdings bullets and marks in OpenSymbol, embeds
# the glyphs, and still gives them in the font's character map (ToUnicode) the private-use code points of
# the document (U+F0B7 for Symbol's bullet, U+F0FC for Wingdings' tick). Its PDF import writes those code
# points into the page metafile in OpenSymbol, which holds nothing there, and Windows' text drawing shows
# an empty box. Each private-use code point of an embedded TrueType font becomes the one of the installed
# font (found by the embedded font's PostScript name) whose glyph has the very same outline and advance,
# so that the metafile names a character the installed font draws as the PDF does (OpenSymbol's own
# private-use ones, U+E12C for that bullet). The glyphs themselves, and what poppler draws, stay as they are.
import io
import logging
import subprocess

import pikepdf
from fontTools.ttLib import TTFont
from pdfminer.cmapdb import CMapParser, FileUnicodeMap

PRIVATE_USE = range(0xE000, 0xF900)
# fontTools warns of what it meets in a font (an old date in OpenSymbol's header) on the run's own output.
logging.getLogger('fontTools').setLevel(logging.ERROR)


def private(text):
    return any(ord(char) in PRIVATE_USE for char in text)


def outline(font, glyph):
    """A glyph's outline (points, contour ends, on-curve flags, composites resolved) and advance, as a key."""
    glyf = font['glyf']
    coordinates, ends, flags = glyf[glyph].getCoordinates(glyf)
    return tuple(coordinates), tuple(ends), tuple(flag & 1 for flag in flags), font['hmtx'][glyph][0]


class InstalledOutlines:
    """The code points of the installed TrueType fonts' glyphs by outline, by PostScript name, each font
    read once; a character outside the private use area before one in it, then the lowest."""

    def __init__(self):
        self.read = {}

    def __call__(self, postscript_name):
        if postscript_name not in self.read:
            self.read[postscript_name] = self._outlines(postscript_name)
        return self.read[postscript_name]

    @staticmethod
    def _outlines(postscript_name):
        listing = subprocess.run(['fc-list', '--format', '%{fontformat}\\t%{file}\\n',
                                  ':postscriptname=' + postscript_name], capture_output=True, text=True).stdout
        files = sorted(line.split('\t', 1)[1] for line in listing.splitlines() if line.startswith('TrueType\t'))
        if not files:
            return {}
        font, outlines = TTFont(files[0], lazy=True), {}
        for code, glyph in sorted(font.getBestCmap().items(), key=lambda item: (item[0] in PRIVATE_USE, item[0])):
            outlines.setdefault(outline(font, glyph), code)
        return outlines


def glyphs_by_code(font_dict, program):
    """The glyph name of each code of a symbolic simple TrueType font (its glyphs found by code, as its
    character map gives them) or of a Type 0 font with Identity encoding and CIDToGIDMap, and the code's
    width in bytes; None for a font of another kind."""
    if font_dict.get('/Subtype') == '/TrueType':
        for platform, encoding, offset in ((3, 0, 0xF000), (1, 0, 0)):
            table = program['cmap'].getcmap(platform, encoding)
            if table:
                return {code: table.cmap.get(code + offset) or table.cmap.get(code) for code in range(256)}, 1
        return None
    descendant = font_dict['/DescendantFonts'][0]
    if font_dict.get('/Encoding') not in (pikepdf.Name('/Identity-H'), pikepdf.Name('/Identity-V')) or \
            descendant.get('/CIDToGIDMap', pikepdf.Name.Identity) != pikepdf.Name.Identity:
        return None
    return dict(enumerate(program.getGlyphOrder())), 2


def embedded(font_dict):
    """The FontFile2 stream of a simple TrueType or a Type 0 (CIDFontType2) font, None for another."""
    if font_dict.get('/Subtype') == '/Type0':
        descendants = font_dict.get('/DescendantFonts')
        if not isinstance(descendants, pikepdf.Array) or len(descendants) != 1 or \
                descendants[0].get('/Subtype') != '/CIDFontType2':
            return None
        font_dict = descendants[0]
    elif font_dict.get('/Subtype') != '/TrueType':
        return None
    descriptor = font_dict.get('/FontDescriptor')
    return descriptor.get('/FontFile2') if isinstance(descriptor, pikepdf.Dictionary) else None


def to_unicode(pdf, codes, width):
    """A ToUnicode stream mapping each code of CODES (code to text) in WIDTH bytes."""
    lines = ['<%0*X> <%s>' % (2 * width, code, text.encode('utf-16-be').hex().upper())
             for code, text in sorted(codes.items())]
    chunks = ['%d beginbfchar\n%s\nendbfchar' % (len(lines[at:at + 100]), '\n'.join(lines[at:at + 100]))
              for at in range(0, len(lines), 100)]
    return pdf.make_stream(('/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n'
                            '/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n'
                            '/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n'
                            '1 begincodespacerange\n<%s> <%s>\nendcodespacerange\n%s\nendcmap\n'
                            'CMapName currentdict /CMap defineresource pop\nend\nend\n' %
                            ('00' * width, 'FF' * width, '\n'.join(chunks))).encode('ascii'))


def recode_font(pdf, font_dict, installed):
    stream = font_dict.get('/ToUnicode')
    program = embedded(font_dict)
    if not isinstance(stream, pikepdf.Stream) or program is None:
        return
    codes = FileUnicodeMap()
    CMapParser(codes, io.BytesIO(stream.read_bytes())).run()
    codes = dict(codes.cid2unichr)
    if not any(private(text) for text in codes.values()):
        return
    outlines = installed(str(font_dict.get('/BaseFont', ''))[1:].split('+')[-1])
    if not outlines:
        return
    font = TTFont(io.BytesIO(program.read_bytes()), lazy=True)
    glyphs, width = glyphs_by_code(font_dict, font) or ({}, 0)
    changed = False
    for code, text in codes.items():
        glyph = glyphs.get(code)
        if private(text) and len(text) == 1 and glyph and outline(font, glyph) in outlines:
            codes[code] = chr(outlines[outline(font, glyph)])
            changed = True
    if changed:
        font_dict.ToUnicode = to_unicode(pdf, codes, width)


def recode_symbols(pdf, installed):
    """Recodes the private-use characters of every font of PDF whose program is embedded; INSTALLED is an
    InstalledOutlines, kept for all the files of a run."""
    for obj in pdf.objects:
        if isinstance(obj, pikepdf.Dictionary) and obj.get('/Type') == '/Font':
            try:
                recode_font(pdf, obj, installed)
            except Exception:  # noqa: BLE001  fontTools and pdfminer meet broken fonts and CMaps with errors of any kind
                continue

# scripts/export.sh on a table of small pages, all exported at once as one PDF, each judged against
# poppler's render of that PDF: ddjvu's render of the DjVu page may miss only a small share of poppler's
# ink, add only a little, and differ in colour only in a few cells (poppler_judge.py), and the page's text
# layer (djvutxt) holds the words the page shows, or keeps, and none that it should not. Where a case asks for
# its text sharp, the page's foreground mask (ddjvu -mode=mask) holds poppler's ink as well, not leaving it
# blurred in the background layer.
#   export_against_poppler_test.py BUILD-ROOT [NAME...]: the cases whose names hold one of NAMEs, or all
# Each case makes its page with pikepdf, or has LibreOffice make it from a document (its pages join the
# PDF), so that the DjVu file is judged against the PDF the export itself starts from.
import os
import subprocess
import sys
import tempfile

import pikepdf
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from poppler_judge import judge  # noqa: E402

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')


def standard_font(base='Helvetica'):
    return pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1, BaseFont=pikepdf.Name('/' + base),
                              Encoding=pikepdf.Name.WinAnsiEncoding)


def simple_page(content, size=(300, 200), annotations=None, **resources):
    """A page maker: a page of SIZE points drawing CONTENT, with Helvetica as /F1 and Times as /F2 and the
    further RESOURCES (each a function of the PDF that gives a resource dictionary, by kind), and the
    ANNOTATIONS (a function of the PDF that gives them) when given."""
    def make(pdf):
        kinds = {'Font': pikepdf.Dictionary(F1=standard_font(), F2=standard_font('Times-Roman'))}
        for kind, maker in resources.items():
            made = maker(pdf)
            kinds[kind] = pikepdf.Dictionary({**dict(kinds.get(kind, {})), **dict(made)})
        page = pikepdf.Dictionary(Type=pikepdf.Name.Page, MediaBox=[0, 0, *size], Contents=pdf.make_stream(content),
                                  Resources=pikepdf.Dictionary({'/' + k: v for k, v in kinds.items()}))
        if annotations:
            page.Annots = pikepdf.Array([pdf.make_indirect(item) for item in annotations(pdf)])
        return page
    return make


def graphics_states(pdf):
    """/Half (half alpha) and /Full, the graphics states of the cases' translucent drawing."""
    return pikepdf.Dictionary(Half=pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, ca=0.5, CA=0.5),
                              Full=pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, ca=1, CA=1))


def soft_mask(content, **resources):
    """A graphics state maker: /Masked, whose luminosity soft mask is a page-size group drawing CONTENT with
    RESOURCES."""
    def make(pdf):
        group = pikepdf.Stream(pdf, content, Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Form,
                               BBox=[0, 0, 300, 200],
                               Resources=pikepdf.Dictionary({'/' + k: v for k, v in resources.items()}),
                               Group=pikepdf.Dictionary(S=pikepdf.Name.Transparency, CS=pikepdf.Name.DeviceGray))
        return pikepdf.Dictionary(Masked=pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, SMask=pikepdf.Dictionary(
            Type=pikepdf.Name.Mask, S=pikepdf.Name.Luminosity, G=group)))
    return make


def highlight(y, **more):
    """A yellow Highlight annotation over the line of 14-point text at Y, 20 to 220 points from the left."""
    return pikepdf.Dictionary(Type=pikepdf.Name.Annot, Subtype=pikepdf.Name.Highlight, F=4, C=[1, 1, 0],
                              Rect=[18, y - 5, 220, y + 15],
                              QuadPoints=[18, y + 15, 220, y + 15, 18, y - 5, 220, y - 5],
                              **more)


def multiplying(pdf):
    """The appearance that common PDF editors write for a Highlight: a yellow box multiplied."""
    return pikepdf.Stream(pdf, b'/Multiply gs 1 1 0 rg 0 0 202 20 re f', Type=pikepdf.Name.XObject,
                          Subtype=pikepdf.Name.Form, BBox=[0, 0, 202, 20], Resources=pikepdf.Dictionary(
                              ExtGState=pikepdf.Dictionary(Multiply=pikepdf.Dictionary(BM=pikepdf.Name.Multiply))))


def photo(pdf):
    """/Photo, a picture of 8 x 8 coloured pixels."""
    pixels = bytes(v for i in range(64) for v in (i * 4, 255 - i * 4, (i % 8) * 32))
    return pikepdf.Dictionary(Photo=pikepdf.Stream(pdf, pixels, Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Image,
                                                   Width=8, Height=8, ColorSpace=pikepdf.Name.DeviceRGB,
                                                   BitsPerComponent=8))


def patterns(pdf):
    """/Radial, a radial shading from red to blue of a circle of 70 points about (150, 100), and /Checks, a
    coloured tiling of red and blue squares of 5 points."""
    radial = pikepdf.Dictionary(Type=pikepdf.Name.Pattern, PatternType=2, Shading=pikepdf.Dictionary(
        ShadingType=3, ColorSpace=pikepdf.Name.DeviceRGB, Coords=[150, 100, 0, 150, 100, 70], Extend=[False, False],
        Function=pikepdf.Dictionary(FunctionType=2, Domain=[0, 1], C0=[1, 0, 0], C1=[0, 0, 1], N=1)))
    checks = pikepdf.Stream(pdf, b'1 0 0 rg 0 0 5 5 re f 0 0 1 rg 5 5 5 5 re f', Type=pikepdf.Name.Pattern,
                            PatternType=1, PaintType=1, TilingType=1, BBox=[0, 0, 10, 10], XStep=10, YStep=10,
                            Resources=pikepdf.Dictionary())
    return pikepdf.Dictionary(Radial=radial, Checks=checks)


def axial(c0, c1, coords, space='/DeviceRGB'):
    """An axial shading from colour C0 to C1 along COORDS (x0, y0, x1, y1), extended at both ends."""
    return pikepdf.Dictionary(ShadingType=2, ColorSpace=pikepdf.Name(space), Coords=coords, Extend=[True, True],
                              Function=pikepdf.Dictionary(FunctionType=2, Domain=[0, 1], C0=c0, C1=c1, N=1))


def picture(width=64, height=40, shade=200):
    """A resource maker: a light picture as /Scan, a scanned page's colours (SHADE and lighter, in steps)."""
    def make(pdf):
        pixels = bytes(min(255, shade + (x + y) % 48) for y in range(height) for x in range(width) for _ in range(3))
        return pikepdf.Dictionary(Scan=pikepdf.Stream(pdf, pixels, Type=pikepdf.Name.XObject,
                                                      Subtype=pikepdf.Name.Image, Width=width, Height=height,
                                                      ColorSpace=pikepdf.Name.DeviceRGB, BitsPerComponent=8))
    return make


def ocr_scan(pdf):
    """A resource maker: the picture of picture() as /Scan and /OCR, a form of its words in invisible text, as
    OCR programs lay them over the scan."""
    words = pikepdf.Stream(pdf, b'BT 3 Tr /F1 20 Tf 30 100 Td (Recognised in a form) Tj ET', Type=pikepdf.Name.XObject,
                           Subtype=pikepdf.Name.Form, BBox=[0, 0, 300, 200],
                           Resources=pikepdf.Dictionary(Font=pikepdf.Dictionary(F1=standard_font())))
    return pikepdf.Dictionary({**dict(picture()(pdf)), '/OCR': words})


def half_alpha(pdf):
    """A resource maker: a graphics state of half alpha as /Half."""
    return pikepdf.Dictionary(Half=pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, ca=0.5, CA=0.5))


# Block letters of a Type 3 font: A, C, D, E, F and the space, drawn by procedures in a 1000-unit glyph space.
BLOCK_LETTERS = {
    'space': (300, b''),
    'A': (600, b'0 0 m 250 700 l 500 0 l 400 0 l 250 450 l 100 0 l f'),
    'C': (600, b'0 0 100 700 re f 100 0 400 100 re f 100 600 400 100 re f'),
    'D': (600, b'0 0 100 700 re f 100 0 300 100 re f 100 600 300 100 re f 400 100 100 500 re f'),
    'E': (600, b'0 0 100 700 re f 100 0 400 100 re f 100 600 400 100 re f 100 300 300 100 re f'),
    'F': (600, b'0 0 100 700 re f 100 600 400 100 re f 100 300 300 100 re f'),
}


def block_font(pdf):
    """A resource maker: /T3, a Type 3 font of BLOCK_LETTERS at their ASCII codes."""
    codes = {'space': 32, 'A': 65, 'C': 67, 'D': 68, 'E': 69, 'F': 70}
    widths = [0] * (70 - 32 + 1)
    procs = {}
    for glyph, (width, drawing) in BLOCK_LETTERS.items():
        widths[codes[glyph] - 32] = width
        procs['/' + glyph] = pdf.make_stream(b'%d 0 0 0 500 700 d1 ' % width + drawing)
    font = pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type3, FontBBox=[0, 0, 500, 700],
                              FontMatrix=[0.001, 0, 0, 0.001, 0, 0], CharProcs=pikepdf.Dictionary(procs),
                              Encoding=pikepdf.Dictionary(Type=pikepdf.Name.Encoding, Differences=[
                                  32, pikepdf.Name.space, 65, pikepdf.Name.A, 67, pikepdf.Name.C, pikepdf.Name.D,
                                  pikepdf.Name.E, pikepdf.Name.F]),
                              FirstChar=32, LastChar=70, Widths=widths, Resources=pikepdf.Dictionary())
    return pikepdf.Dictionary(T3=font)


# A flat text document: its automatic styles and its body's content go in.
FODT = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:math="http://www.w3.org/1998/Math/MathML" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
%s<office:body><office:text>%s</office:text></office:body></office:document>
'''


class Case:
    """NAME, its page (PAGE(pdf) gives a page dictionary) or its DOCUMENT (an extension and the file's text,
    which LibreOffice turns into a PDF), the words its text layer must hold (WORDS) and must not (ABSENT),
    and the shares of poppler's ink that may be MISSING or EXTRA and of the colour cells that may differ
    (COLOUR), and when given the share by which a line's ink may differ from poppler's in width (LINE_WIDTH)
    and in amount (LINE_INK), within each of BOXES (left, bottom, right, top in points) when given; SHARP: the
    share of poppler's ink that the foreground mask may miss is bounded by MISSING too."""

    def __init__(self, name, page=None, document=None, words=(), absent=(), missing=0.05, extra=0.05, colour=0.03,
                 boxes=(None,), line_width=None, line_ink=None, sharp=False):
        self.name, self.page, self.document, self.words, self.absent = name, page, document, words, absent
        self.missing, self.extra, self.colour, self.boxes = missing, extra, colour, boxes
        self.line_width, self.line_ink, self.sharp = line_width, line_ink, sharp

    def faulty(self, judgement):
        return (judgement.missing_share > self.missing or judgement.extra_share > self.extra or
                judgement.colour_share > self.colour or
                self.line_width is not None and judgement.line_width_share > self.line_width or
                self.line_ink is not None and judgement.line_ink_share > self.line_ink)


CASES = [
    # What every page starts from: opaque text and shapes, drawn as poppler draws them.
    Case('plain text and shapes', simple_page(b'''0 g BT /F1 14 Tf 20 160 Td (Plain words in Helvetica) Tj ET
BT /F2 14 Tf 20 130 Td (and some in Times Roman) Tj ET 1 0 0 rg 20 40 80 60 re f 0 0 1 RG 4 w 140 40 m 280 100 l S'''),
         words=['Plain', 'Helvetica', 'Times', 'Roman']),
    # flattext: text the page keeps for its words alone, undrawn (issue 40).
    Case('invisible text over a picture', simple_page(b'''q 260 0 0 160 20 20 cm /Scan Do Q
BT 3 Tr /F1 20 Tf 30 100 Td (Searchable scan words) Tj ET 0 g BT 0 Tr /F1 14 Tf 30 40 Td (Visible after) Tj ET''',
                                                      XObject=picture()),
         words=['Searchable', 'scan', 'words', 'Visible', 'after']),
    Case('invisible text in a form', simple_page(b'q 260 0 0 160 20 20 cm /Scan Do Q /OCR Do', XObject=ocr_scan),
         words=['Recognised', 'in', 'a', 'form']),
    Case('translucent caption', simple_page(b'''0 g BT /F1 14 Tf 20 160 Td (Opaque line) Tj ET
/Half gs 1 0 0 rg BT /F1 24 Tf 20 120 Td (Faint caption) Tj ET 0 0 1 rg 20 40 200 20 re f''', ExtGState=half_alpha),
         words=['Opaque', 'line', 'Faint', 'caption']),
    Case('Type 3 font', simple_page(b'''0 g BT /T3 30 Tf 20 120 Td (FACE CAFE DEAF) Tj ET
BT /F1 14 Tf 20 60 Td (Helvetica after) Tj ET''', Font=block_font), words=['FACE', 'CAFE', 'DEAF', 'Helvetica']),
    Case('text under a clipping path', simple_page(b'''q 20 100 150 60 re W n
0 g BT /F1 30 Tf 20 120 Td (CLIPPEDWORDS) Tj ET Q'''), words=['CLIPPEDWORDS']),
    Case('clipping text (mode 7)', simple_page(b'''q BT 7 Tr /F1 60 Tf 20 80 Td (CLIP) Tj ET 1 0 0 rg 0 0 300 200 re f Q
0 g BT /F1 14 Tf 20 30 Td (Opaque after) Tj ET'''), words=['CLIP', 'Opaque', 'after']),
    Case('outlined text (mode 1)', simple_page(b'0 G 1 w BT 1 Tr /F1 60 Tf 20 80 Td (Hollow) Tj ET'), words=['Hollow']),
    Case('filled and outlined text (mode 2)', simple_page(b'''1 0 0 rg 0 0 1 RG 1 w
BT 2 Tr /F1 72 Tf 20 80 Td (Filled) Tj ET'''), words=['Filled']),
    Case('outlined office title', document=('fodt', '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.text">
<office:automatic-styles><style:style style:name="T1" style:family="text">
<style:text-properties style:text-outline="true" fo:font-size="40pt"/></style:style></office:automatic-styles>
<office:body><office:text><text:p><text:span text:style-name="T1">Hollow title</text:span></text:p></office:text>
</office:body></office:document>'''), words=['Hollow', 'title']),
    Case('horizontal scaling (Tz)', simple_page(b'0 g BT 50 Tz /F1 30 Tf 20 100 Td (Narrow letters here) Tj ET'),
         words=['Narrow', 'letters', 'here']),
    Case('text under a picture', simple_page(b'''0 g BT /F1 30 Tf 20 120 Td (Covered words) Tj ET
q 110 0 0 80 10 90 cm /Scan Do Q''', XObject=picture(shade=170)), words=['Covered', 'words']),
    Case('text under a faded picture', simple_page(b'''1 0 0 rg BT /F1 40 Tf 20 110 Td (Faded over) Tj ET
q /Half gs 260 0 0 80 10 90 cm /Scan Do Q''', XObject=picture(shade=60), ExtGState=half_alpha),
         words=['Faded', 'over'], boxes=[(10, 90, 270, 170)]),
    # Graphics as the document draws them: translucency, soft masks, annotations, clips, patterns.
    Case('turned translucent square', simple_page(b'''q 0.7071 0.7071 -0.7071 0.7071 200 50 cm /Half gs 0 0 1 rg
0 0 80 80 re f Q 0 g BT /F1 14 Tf 20 170 Td (Turned square) Tj ET''', ExtGState=graphics_states),
         words=['Turned', 'square']),
    Case('translucent clipping text', simple_page(b'''q /Half gs 0 g BT 4 Tr /F1 72 Tf 20 60 Td (CLIP) Tj ET /Full gs
0 0 1 rg 0 0 300 200 re f Q 0 g BT /F1 14 Tf 20 170 Td (Blue letters) Tj ET''', ExtGState=graphics_states),
         words=['Blue', 'letters']),
    # More translucent shapes than a page's pictures, then a restore without a save, where poppler stops.
    Case('a restore without a save', simple_page(
        b'0 g BT /F1 14 Tf 20 170 Td (Squares below) Tj ET /Half gs 0 0 1 rg ' +
        b''.join(b'%d %d 8 8 re f ' % (20 + 14 * i, 20 + 14 * j) for i in range(18) for j in range(9)) +
        b'Q /Full gs 1 0 0 rg 0 0 300 200 re f', ExtGState=graphics_states),
         words=['Squares', 'below']),
    # A heading faded out from left to right by a soft mask, a blue page-size fill shown on its left half only.
    Case('faded heading', simple_page(b'''q /Masked gs 0 g BT /F1 36 Tf 20 120 Td (Faded heading) Tj ET Q 0 g
BT /F1 14 Tf 20 40 Td (Plain text below) Tj ET''', ExtGState=soft_mask(b'/Fade sh', Shading=pikepdf.Dictionary(
        Fade=axial([1], [0], [20, 0, 280, 0], '/DeviceGray')))), words=['Plain', 'below'],
         missing=0.1),   # the pictured heading lies in the background layer, its edges softened
    Case('half-page soft mask', simple_page(b'''q /Masked gs 0 0 1 rg 0 0 300 200 re f Q 0 g BT /F1 14 Tf 170 100 Td
(Right half) Tj ET''', ExtGState=soft_mask(b'0 g 0 0 300 200 re f 1 g 0 0 150 200 re f')), words=['Right', 'half']),
    # A slide's picture cropped by a quarter left and right and a fifth top and bottom, below its title.
    Case('cropped picture', simple_page(b'''0 g BT /F1 18 Tf 20 170 Td (Slide title) Tj ET q 75 34 150 96 re W n
300 0 0 160 0 2 cm /Photo Do Q''', XObject=photo), words=['Slide', 'title']),
    # Letters drawn as shapes (as LibreOffice writes fontwork) filled with a gradient through their clip.
    Case('gradient in letters', simple_page(b'''q 40 40 m 70 140 l 100 40 l 88 40 l 70 100 l 52 40 l h
120 40 m 120 140 l 170 140 l 170 128 l 132 128 l 132 96 l 160 96 l 160 84 l 132 84 l 132 40 l h W n /Across sh Q
0 g BT /F1 14 Tf 20 170 Td (Letters below) Tj ET''', Shading=lambda pdf: pikepdf.Dictionary(
        Across=axial([1, 0, 0], [0, 0, 1], [40, 0, 170, 0]))), words=['Letters', 'below']),
    # Pattern fills, which the import draws past their shapes: a radial shading in a square within its circle,
    # a coloured tiling in a triangle, and text filled with the tiling (its words kept).
    Case('radial pattern in a square', simple_page(b'''/Pattern cs /Radial scn 110 60 80 80 re f 0 g BT /F1 14 Tf
20 170 Td (Square below) Tj ET''', Pattern=patterns), words=['Square', 'below']),
    Case('tiling pattern in a triangle', simple_page(b'''/Pattern cs /Checks scn 100 30 m 150 130 l 200 30 l f 0 g
BT /F1 14 Tf 20 170 Td (Triangle below) Tj ET''', Pattern=patterns), words=['Triangle', 'below']),
    Case('text filled with a pattern', simple_page(b'''/Pattern cs /Checks scn BT /F1 40 Tf 20 80 Td (Checked words)
Tj ET''', Pattern=patterns), words=['Checked', 'words']),
    # The import's side: what the page holds reaches the metafile as the PDF draws it.
    # A footer 14 pt up and a box 5 to 20 pt up, both within the bottom 10 mm of a small page.
    Case('bottom edge kept', simple_page(b'''BT /F1 10 Tf 10 70 Td (Upper) Tj ET BT /F1 8 Tf 10 14 Td (Lowfooter) Tj ET
0 0 1 rg 60 5 30 15 re f''', size=(100, 100)), words=['Upper', 'Lowfooter']),
    # Ligatures that LibreOffice forms (Helvetica set in Nimbus Sans, Carlito) against a control line, each
    # line judged on its own: a ligature's letters drawn over each other leave gaps in their line. In a box
    # a line high, letters' edges make a larger share of the colour cells.
    Case('ligatures', simple_page(b'''BT /F1 16 Tf 10 160 Td (fifty official affidavits filed efficiently) Tj ET
BT /F1 16 Tf 10 130 Td (baffled waffles fluffy flow) Tj ET BT /F1 16 Tf 10 100 Td (sixty annual avowals noted) Tj ET'''),
         boxes=[(0, 154, 300, 178), (0, 124, 300, 148), (0, 94, 300, 118)], colour=0.08,
         words=['fifty', 'official', 'affidavits', 'filed', 'efficiently', 'waffles', 'fluffy', 'sixty']),
    Case('ligatures in Carlito', document=('fodt', FODT % ('''<office:automatic-styles><style:style style:name="P"
 style:family="paragraph"><style:text-properties fo:font-family="Carlito" fo:font-size="16pt"/></style:style>
</office:automatic-styles>''', '''<text:p text:style-name="P">fifty official affidavits filed efficiently</text:p>
<text:p text:style-name="P">baffled waffles fluffy flow</text:p><text:p text:style-name="P">sixty annual avowals noted</text:p>''')),
         words=['fifty', 'official', 'affidavits', 'filed', 'efficiently', 'waffles', 'fluffy', 'sixty']),
    # Fonts that fontconfig sets in URW families, which the PDF names by their PostScript names. Windows lays
    # the letters out on its own grid, so a line may run a little longer than poppler's, its letters not
    # over poppler's: each line is judged by its width and weight of ink. URW Bookman's Light and Demi are
    # both marked neither bold nor regular, so that a weight alone picks neither.
    Case('fonts set in URW families', document=('fodt', FODT % ('''<office:automatic-styles><style:style style:name="A"
 style:family="paragraph"><style:text-properties fo:font-family="'Comic Sans MS'" fo:font-size="14pt"/></style:style>
<style:style style:name="B" style:family="paragraph"><style:text-properties fo:font-family="Palatino" fo:font-size="14pt"/>
</style:style><style:style style:name="C" style:family="paragraph"><style:text-properties fo:font-family="Times"
 fo:font-size="14pt"/></style:style><style:style style:name="D" style:family="paragraph"><style:text-properties
 fo:font-family="'Bookman Old Style'" fo:font-size="14pt"/></style:style><style:style style:name="E" style:family="paragraph">
<style:text-properties fo:font-family="'Bookman Old Style'" fo:font-weight="bold" fo:font-size="14pt"/></style:style>
</office:automatic-styles>''', '''<text:p text:style-name="A">Comic words running on a line</text:p>
<text:p text:style-name="B">Palatino words running on a line</text:p><text:p text:style-name="C">Times words running on a line</text:p>
<text:p text:style-name="D">Bookman words running on a line</text:p><text:p text:style-name="E">Demi words running on a line</text:p>''')),
         words=['Comic', 'Palatino', 'Times', 'Bookman', 'Demi', 'running'], missing=1, extra=1, line_width=0.02,
         line_ink=0.1),
    # An equation: LibreOffice Math draws it.
    Case('equation', document=('fodt', FODT % ('', '''<text:p>Speed follows: <draw:frame text:anchor-type="as-char"
 svg:width="40mm" svg:height="12mm"><draw:object><math:math><math:semantics><math:mrow><math:mi>velocity</math:mi>
<math:mo>=</math:mo><math:mfrac><math:mi>distance</math:mi><math:mi>duration</math:mi></math:mfrac></math:mrow>
</math:semantics></math:math></draw:object></draw:frame></text:p>''')), words=['Speed', 'distance', 'duration']),
    # Lines thinner than a pixel at 300 dpi, drawn a pixel wide as poppler draws them wherever they fall
    # between pixels: 0.1 pt rules across and down (LibreOffice strokes a table's thinnest borders so).
    Case('0.1 pt rules', simple_page(b'''0 G 0.1 w 20 160 m 280 160 l 20 130.2 m 280 130.2 l 20 100 m 280 100 l
20 90 m 280 90 l 20 70.45 m 280 70.45 l 20 40.7 m 280 40.7 l 150.3 20 m 150.3 60 l S''')),
    # Bullets and marks in Word's symbol fonts (Symbol's bullet, Wingdings' tick, square and arrow), which
    # LibreOffice draws in OpenSymbol: each is drawn as the PDF shows it, not as an empty box. The marks
    # alone are judged, in a box around them.
    Case('symbol bullets', document=('fodt', FODT % ('''<office:automatic-styles><text:list-style style:name="L1">
<text:list-level-style-bullet text:level="1" text:bullet-char="&#xF0B7;"><style:list-level-properties
 text:space-before="6mm" text:min-label-width="10mm"/><style:text-properties fo:font-family="Symbol"
 style:font-charset="x-symbol"/></text:list-level-style-bullet></text:list-style><text:list-style style:name="L2">
<text:list-level-style-bullet text:level="1" text:bullet-char="&#xF0FC;"><style:list-level-properties
 text:space-before="6mm" text:min-label-width="10mm"/><style:text-properties fo:font-family="Wingdings"
 style:font-charset="x-symbol"/></text:list-level-style-bullet></text:list-style><style:style style:name="P"
 style:family="paragraph"><style:text-properties fo:font-size="20pt"/></style:style><style:style style:name="W"
 style:family="text"><style:text-properties fo:font-family="Wingdings" style:font-charset="x-symbol"/></style:style>
</office:automatic-styles>''', '''<text:list text:style-name="L1"><text:list-item><text:p text:style-name="P">Symbol
 bullet</text:p></text:list-item></text:list><text:list text:style-name="L2"><text:list-item><text:p text:style-name="P">Wingdings
 tick</text:p></text:list-item></text:list><text:p text:style-name="P"><text:span text:style-name="W">&#xF0A7;&#xF0D8;</text:span>
 square, arrow</text:p>''')), words=['Symbol', 'Wingdings', 'tick'], boxes=[(50, 716, 86, 786)]),
    # A check mark in ZapfDingbats, as a flattened form draws it, drawn in a face that holds it as a character
    # (DejaVu Sans), a little lighter than poppler's in the font's own (D050000L); an empty box in its place
    # misses most of its ink. The mark alone is judged, in a box around it.
    Case('ZapfDingbats check mark', simple_page(b'''BT /F1 16 Tf 50 100 Td (Agreed) Tj ET BT /Z 20 Tf 20 100 Td (4) Tj ET''',
                                                Font=lambda pdf: pikepdf.Dictionary(Z=pikepdf.Dictionary(
                                                    Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1,
                                                    BaseFont=pikepdf.Name.ZapfDingbats))),
         words=['Agreed'], boxes=[(15, 90, 45, 125)], missing=0.5, extra=0.1, colour=0.1),
    # Text under a translucent drawing, drawn as sharp as the rest of the page: highlights, one multiplying in
    # its own appearance, a faint one without one (beside a link), and a multiplying box drawn in the page.
    Case('highlights', simple_page(b'''0 g BT /F1 14 Tf 20 160 Td (Highlighted with multiply) Tj 0 -40 Td
(Faintly highlighted words) Tj 0 -40 Td (Linked words here) Tj ET''', annotations=lambda pdf: [
        highlight(160, AP=pikepdf.Dictionary(N=multiplying(pdf))), highlight(120, CA=0.4),
        pikepdf.Dictionary(Type=pikepdf.Name.Annot, Subtype=pikepdf.Name.Link, Rect=[18, 75, 220, 95],
                           Border=[0, 0, 0], A=pikepdf.Dictionary(S=pikepdf.Name.URI, URI='https://example.org/'))]),
         words=['Highlighted', 'multiply', 'Faintly', 'words', 'Linked'], sharp=True),
    Case('multiplying box over text', simple_page(b'''0 g BT /F1 14 Tf 20 120 Td (Marked by a box) Tj 0 -40 Td
(Line below) Tj ET q /Multiply gs 1 1 0 rg 15 114 160 20 re f Q''', ExtGState=lambda pdf: pikepdf.Dictionary(
        Multiply=pikepdf.Dictionary(BM=pikepdf.Name.Multiply))), words=['Marked', 'box', 'Line', 'below'], sharp=True),
]


def build(cases, work):
    """One PDF of the pages of CASES; the first page of each case and how many it has."""
    pdf = pikepdf.new()
    placed = []
    for number, case in enumerate(cases):
        first = len(pdf.pages) + 1
        if case.page:
            pdf.pages.append(pikepdf.Page(pdf.make_indirect(case.page(pdf))))
        else:
            extension, text = case.document
            source = os.path.join(work, 'document-%d.%s' % (number, extension))
            with open(source, 'w', encoding='utf-8') as out:
                out.write(text)
            subprocess.run(['soffice', '-env:UserInstallation=file://%s/profile' % work, '--headless', '--convert-to',
                            'pdf', '--outdir', work, source], check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with pikepdf.open(source.rsplit('.', 1)[0] + '.pdf') as made:
                pdf.pages.extend(made.pages)
        placed.append((first, len(pdf.pages) + 1 - first))
    path = os.path.join(work, 'cases.pdf')
    pdf.save(path)
    return path, placed


def main(build_root, *names):
    cases = [case for case in CASES if not names or any(name in case.name for name in names)]
    failed = []
    with tempfile.TemporaryDirectory() as work:
        pdf, placed = build(cases, work)
        out = os.path.join(work, 'cases.djvu')
        # A Wine prefix kept in the build folder for these exports, made by the first run.
        env = dict(os.environ, MVX_BUILD_DIR=build_root,
                   XDG_CACHE_HOME=os.path.join(build_root, 'testdata', 'export-against-poppler'))
        run = subprocess.run(['bash', os.path.join(HERE, 'scripts', 'export.sh'), pdf, out], env=env,
                             capture_output=True, text=True)
        if run.returncode:
            print('FAIL: the export failed:\n%s%s' % (run.stdout, run.stderr))
            return 1
        for case, (first, count) in zip(cases, placed):
            faults, text = [], ''
            for page in range(first, first + count):
                ours, reference = os.path.join(work, 'ours-%d.ppm' % page), os.path.join(work, 'ref-%d' % page)
                subprocess.run(['ddjvu', '-format=ppm', '-page=%d' % page, out, ours], check=True)
                subprocess.run(['pdftoppm', '-r', '300', '-f', str(page), '-l', str(page), '-singlefile', pdf,
                                reference], check=True)
                if case.sharp:
                    mask = os.path.join(work, 'mask-%d.ppm' % page)
                    subprocess.run(['ddjvu', '-format=ppm', '-mode=mask', '-page=%d' % page, out, mask], check=True)
                with Image.open(reference + '.ppm') as image:
                    for box in case.boxes:
                        where = ' within %s' % (box,) if box else ''
                        judgement = judge(ours, image, box, image.height * 72 / 300)
                        if case.faulty(judgement):
                            faults.append('page %d%s: %s' % (page, where, judgement))
                        sharp = judge(mask, image, box, image.height * 72 / 300) if case.sharp else None
                        if sharp and sharp.missing_share > case.missing:
                            faults.append('page %d%s: the foreground mask lacks %.1f%% of the ink'
                                          % (page, where, 100 * sharp.missing_share))
                text += subprocess.run(['djvutxt', '--page=%d' % page, out], capture_output=True,
                                       text=True).stdout
            words = text.split()
            faults += ['the text layer lacks "%s"' % word for word in case.words if word not in words]
            faults += ['the text layer holds "%s"' % word for word in case.absent if word in words]
            print('%s: %s' % ('FAIL' if faults else 'ok', case.name))
            for fault in faults:
                print('    ' + fault)
            if faults:
                failed.append(case.name)
                print('    text layer: %r' % text)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))

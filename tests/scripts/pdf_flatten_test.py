# scripts/pdf_import_pages.py on small pages that draw text and shapes translucently, each beside opaque text:
# the readied page looks as the page did in poppler's render (the pictures stand where the translucent
# drawing was, and hold it all), and the opaque text is neither covered by a picture (the page rendered
# without its text is white there) nor moved (pdftotext finds its words where they were); no soft mask and
# no annotation that draws is left for the import; each case checks more of its own. A damaged page that
# draws translucently is refused in one line (one that does not goes on as it is), while a fault of the
# scripts' own shows as such.
#   pdf_flatten_test.py
import os
import runpy
import shutil
import subprocess
import sys
import tempfile

import pikepdf
from PIL import Image, ImageChops, ImageFilter

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts')
sys.path.insert(0, SCRIPTS)
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import emf_carried_text  # noqa: E402
import pdf_flatten  # noqa: E402
from pdfminer.high_level import extract_pages  # noqa: E402
from pdfminer.layout import LTChar, LTContainer  # noqa: E402
from export_against_poppler_test import block_font  # noqa: E402

WIDTH, HEIGHT, DPI = 400, 300, 300
HALF = pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, ca=0.5, CA=0.5)
FULL = pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, ca=1, CA=1)
MULTIPLY = pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, BM=pikepdf.Name.Multiply)


def helvetica():
    return pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1, BaseFont=pikepdf.Name.Helvetica,
                              Encoding=pikepdf.Name.WinAnsiEncoding)


def wide_font(ascent=900, descent=-220, bottom=-250):
    """A font of the PDF's own widths (0.7 em each), unlike any installed one's, of ASCENT, DESCENT and a box
    down to BOTTOM."""
    descriptor = pikepdf.Dictionary(Type=pikepdf.Name.FontDescriptor, FontName=pikepdf.Name('/Brindle-Wide'),
                                    Flags=32, FontBBox=[-200, bottom, 1000, 950], ItalicAngle=0, Ascent=ascent,
                                    Descent=descent, CapHeight=700, StemV=80)
    return pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1,
                              BaseFont=pikepdf.Name('/Brindle-Wide'), FirstChar=32, LastChar=126,
                              Widths=[700] * 95, Encoding=pikepdf.Name.WinAnsiEncoding, FontDescriptor=descriptor)


# Each case: a name, the page's content, the words of opaque text, and what else it checks: 'carried', the
# words of text kept for its words alone (where it was, in the colour emf_carried_text.py clips away).
CASES = [
    # Opaque text drawn before a translucent one: the translucent text's picture is cut to its glyphs.
    ('text after opaque text', b'''0 g BT /F1 14 Tf 20 260 Td (Opaque before) Tj ET
/Half gs 0 0 1 rg BT /F2 40 Tf 20 120 Td (Faint lines) Tj ET''', ['Opaque', 'before'],
     {'largest': 0.25, 'carried': ['Faint', 'lines']}),
    # Translucent text before opaque text of the same text object, shown in each way text can be: the opaque
    # text stays where it was.
    ('text before opaque text on its line', b'''0 g BT /F2 24 Tf 20 200 Td /Half gs (Faint ) Tj /Full gs (Opaque)
Tj ET 0 g BT /F1 18 Tf 22 TL 20 120 Td /Half gs [(Fa) 300 (int)] TJ /Full gs ( and) Tj /Half gs (next) '
/Full gs ( line) Tj /Half gs 5 1 (spaced out) " /Full gs ( end) Tj ET''', ['Opaque', 'and', 'line', 'end'], {}),
    # Hundreds of translucent squares apart from each other: no more pictures than the bound, made by as many
    # renders of the page at most.
    ('many shapes', b'/Half gs 0 0 1 rg ' + b''.join(b'%d %d 10 10 re f ' % (20 + 18 * i, 20 + 18 * j)
                                                     for i in range(20) for j in range(12)) +
     b'/Full gs 0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET', ['Opaque', 'above'], {'pictures': (1, 'bound')}),
    # Shapes that overlap or touch become one picture; within other clips they stay apart.
    ('shapes that overlap or touch', b'''/Half gs 1 0 0 rg 20 20 100 100 re f 0 1 0 rg 80 80 100 100 re f
0 0 1 rg 180 30 50 50 re f /Full gs 0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET''', ['Opaque', 'above'],
     {'pictures': (1, 1)}),
    ('shapes in other clips', b'''q 0 0 200 300 re W n /Half gs 1 0 0 rg 20 20 300 100 re f Q
q 200 0 200 300 re W n /Half gs 0 0 1 rg 100 60 280 100 re f Q 0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET''',
     ['Opaque', 'above'], {'pictures': (2, 2)}),
    # A colour that is a pattern drawing translucently: a shading pattern of its own alpha, a tiling pattern
    # whose cell is drawn at half alpha, each over an opaque red band.
    # Invisible text over a grey box, and clipping text, between opaque text in the colour the carried text
    # changes: no picture, and what follows draws in its own colour.
    ('invisible text', b'''0.5 g 20 150 360 40 re f 0 0 1 rg BT /F1 14 Tf 20 260 Td (Opaque before) Tj 3 Tr
20 -100 Td (Searchable words) Tj 0 Tr 0 -40 Td (Opaque after) Tj 7 Tr 0 -40 Td (Clipping) Tj ET
0 0 1 rg 20 20 40 40 re f''', ['Opaque', 'before', 'after'],
     {'carried': ['Searchable', 'words', 'Clipping'], 'pictures': (0, 0)}),
    # Text in a Type 3 font, which the import would draw in another face: pictured, and carried.
    ('Type 3 text', b'''0 g BT /T3 30 Tf 20 200 Td (FACE CAFE) Tj ET BT /F1 14 Tf 20 100 Td (Opaque after) Tj ET''',
     ['Opaque', 'after'], {'carried': ['FACE', 'CAFE'], 'pictures': (1, 1)}),
    # Text with effects the import drops: cut by a clip, clipping what follows, outlined, filled and outlined,
    # scaled: pictured, and carried.
    ('clipped and clipping text', b'''q 20 200 100 30 re W n 0 g BT /F1 24 Tf 20 205 Td (CLIPPEDWORDS) Tj ET Q
q BT 7 Tr /F1 40 Tf 20 120 Td (CLIP) Tj ET 1 0 0 rg 20 100 200 60 re f Q 0 g BT /F1 14 Tf 20 40 Td (Opaque after) Tj
ET''', ['Opaque', 'after'], {'carried': ['CLIPPEDWORDS', 'CLIP'], 'pictures': (2, 2)}),
    ('outlined and scaled text', b'''0 G 1 w BT 1 Tr /F1 40 Tf 20 240 Td (Hollow) Tj 2 Tr 1 0 0 rg 0 -60 Td (Filled) Tj
0 Tr 0 g 50 Tz 0 -60 Td (Narrow) Tj 100 Tz /F1 14 Tf 0 -60 Td (Opaque after) Tj ET''', ['Opaque', 'after'],
     {'carried': ['Hollow', 'Filled', 'Narrow']}),
    # Text that a later picture covers, in part: carried, and what shows of it pictured above the picture (the
    # page's own and that one).
    ('text under a picture', b'''0 g BT /F1 24 Tf 20 200 Td (Covered words) Tj ET q 100 0 0 60 10 180 cm
BI /W 2 /H 2 /CS /G /BPC 8 ID \xc8\x64\x64\xc8 EI Q BT /F1 14 Tf 20 100 Td (Opaque after) Tj ET''', ['Opaque', 'after'],
     {'carried': ['Covered', 'words'], 'pictures': (2, 2)}),
    # Invisible text in a form, as OCR programs lay it over the scan, before a shape in the colour the form
    # takes from the page.
    # A heading just above a picture, in a font that gives no ascent or descent (as LibreOffice's PDFs) and a
    # deep box: not covered, not pictured (the picture is the page's own, light where the box reaches).
    ('text just above a picture', b'''0 g BT /F3 24 Tf 20 205.5 Td (Heading) Tj ET q 200 0 0 60 10 140 cm
BI /W 2 /H 2 /CS /G /BPC 8 ID \xd0\xd0\xd0\xd0 EI Q''', ['Heading'], {'pictures': (1, 1)}),
    ('invisible text in a form', b'''0.5 g 20 150 360 40 re f 0 0 1 rg q /OCR Do Q
BT /F1 14 Tf 20 260 Td (Opaque before) Tj ET''', ['Opaque', 'before'],
     {'carried': ['Form', 'words'], 'pictures': (0, 0)}),
    ('translucent patterns', b'''1 0 0 rg 20 60 360 20 re f /Pattern cs /Shaded scn 20 20 170 100 re f
/Tiled scn 210 20 170 100 re f 0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET''', ['Opaque', 'above'],
     {'pictures': (2, 2)}),
    # A translucent square turned by an eighth: its box is that of all four corners, not of two.
    # A soft mask over a page-size fill: the fill is pictured as the mask shows it.
    ('soft mask', b'''q /Masked gs 0 0 1 rg 0 0 400 300 re f Q 0 g BT /F1 14 Tf 220 270 Td (Opaque above) Tj ET''',
     ['Opaque', 'above'], {}),
    # Highlights over text, one multiplying in its own appearance, a faint one without, and a link: the
    # highlights are pictured without the text, which is drawn again above them, the link stays; a multiplying
    # box drawn in the page too.
    ('highlights', b'''0 g BT /F1 20 Tf 20 240 Td (Marked words) Tj 0 -60 Td (Faint mark) Tj 0 -60 Td (Link here) Tj
0 -60 Td (Boxed words) Tj ET q /Multiply gs 1 1 0 rg 15 55 150 30 re f Q''',
     ['Marked', 'words', 'Faint', 'mark', 'Link', 'here', 'Boxed'], {'annotations': lambda pdf: highlights(pdf)}),
    # Text under a half-alpha box, drawn again above its picture in poppler's colour of it; text under a
    # translucent gradient, of no one colour there, stays in its picture.
    ('text under translucent drawing', b'''0 g BT /F1 20 Tf 20 240 Td (Half covered) Tj 230 -80 Td (Gradient words) Tj
-230 -80 Td (Opaque after) Tj ET /Half gs 1 1 0 rg 15 235 200 30 re f q 245 155 150 30 re W n /Across sh Q''',
     ['Half', 'covered', 'Opaque', 'after'], {}),
    # A picture cropped by a rectangle, a gradient filling a triangle: the import draws neither clip.
    ('cropped picture and gradient', b'''q 100 50 200 150 re W n 300 0 0 200 50 20 cm /Photo Do Q
q 250 220 m 320 290 l 390 220 l W n /Across sh Q 0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET''',
     ['Opaque', 'above'], {'pictures': (2, 2)}),
    # Opaque pattern fills, which the import draws past their shapes: a radial shading in a square smaller than
    # its circle, a coloured tiling in a triangle, text: pictured, the text carried.
    ('pattern fills', b'''/Pattern cs /Radial scn 40 90 120 120 re f /Checks scn 220 60 m 300 200 l 380 60 l f
BT /F1 30 Tf 20 20 Td (Tiled words) Tj ET 0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET''', ['Opaque', 'above'],
     {'pictures': (2, 3), 'carried': ['Tiled', 'words']}),
    ('turned square', b'''q 0.7071 0.7071 -0.7071 0.7071 200 50 cm /Half gs 0 0 1 rg 0 0 100 100 re f Q
0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET''', ['Opaque', 'above'], {'pictures': (1, 1)}),
    # Text that clips in a translucent fill: its glyphs still clip the opaque fill after it.
    ('translucent clipping text', b'''q /Half gs 0 g BT 4 Tr /F1 80 Tf 20 150 Td (CLIP) Tj ET /Full gs 0 0 1 rg
0 0 400 300 re f Q 0 g BT /F1 14 Tf 20 270 Td (Opaque above) Tj ET''', ['Opaque', 'above'], {}),
    # A damaged page that draws more translucent shapes than the bound, then restores a state it never saved:
    # poppler draws nothing after that, and the shapes' picture is still drawn.
    ('a restore without a save', b'0 g BT /F1 14 Tf 20 270 Td (Opaque before) Tj ET /Half gs 0 0 1 rg ' +
     b''.join(b'%d %d 10 10 re f ' % (20 + 18 * i, 20 + 18 * j) for i in range(20) for j in range(12)) +
     b'Q /Full gs 1 0 0 rg 0 0 400 300 re f', ['Opaque', 'before'], {'pictures': (1, 1)}),
]


def patterns(pdf):
    shading = pikepdf.Dictionary(ShadingType=2, ColorSpace=pikepdf.Name.DeviceRGB, Coords=[20, 0, 190, 0],
                                 Extend=[True, True], Function=pikepdf.Dictionary(FunctionType=2, Domain=[0, 1],
                                                                                  C0=[0, 0, 1], C1=[0, 0.6, 0], N=1))
    shaded = pikepdf.Dictionary(Type=pikepdf.Name.Pattern, PatternType=2, Shading=shading,
                                ExtGState=pikepdf.Dictionary(ca=0.5, CA=0.5))
    tiled = pikepdf.Stream(pdf, b'/Half gs 0 0 1 rg 0 0 6 6 re f', Type=pikepdf.Name.Pattern, PatternType=1,
                           PaintType=1, TilingType=1, BBox=[0, 0, 10, 10], XStep=10, YStep=10,
                           Resources=pikepdf.Dictionary(ExtGState=pikepdf.Dictionary(Half=HALF)))
    # Opaque ones: a radial shading of a circle larger than what it fills, a coloured tiling.
    radial = pikepdf.Dictionary(Type=pikepdf.Name.Pattern, PatternType=2, Shading=pikepdf.Dictionary(
        ShadingType=3, ColorSpace=pikepdf.Name.DeviceRGB, Coords=[100, 150, 0, 100, 150, 90], Extend=[False, False],
        Function=pikepdf.Dictionary(FunctionType=2, Domain=[0, 1], C0=[1, 0, 0], C1=[0, 0, 1], N=1)))
    checks = pikepdf.Stream(pdf, b'1 0 0 rg 0 0 5 5 re f 0 0 1 rg 5 5 5 5 re f', Type=pikepdf.Name.Pattern,
                            PatternType=1, PaintType=1, TilingType=1, BBox=[0, 0, 10, 10], XStep=10, YStep=10,
                            Resources=pikepdf.Dictionary())
    return pikepdf.Dictionary(Shaded=shaded, Tiled=tiled, Radial=radial, Checks=checks)


def masked(pdf):
    """A graphics state whose soft mask shows the left half of the page, fading out from the left edge."""
    shading = pikepdf.Dictionary(ShadingType=2, ColorSpace=pikepdf.Name.DeviceGray, Coords=[0, 0, 200, 0],
                                 Function=pikepdf.Dictionary(FunctionType=2, Domain=[0, 1], C0=[1], C1=[0], N=1))
    group = pikepdf.Stream(pdf, b'/Fade sh', Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Form,
                           BBox=[0, 0, 200, HEIGHT], Resources=pikepdf.Dictionary(Shading=pikepdf.Dictionary(
                               Fade=shading)), Group=pikepdf.Dictionary(S=pikepdf.Name.Transparency,
                                                                          CS=pikepdf.Name.DeviceGray))
    return pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, SMask=pikepdf.Dictionary(
        Type=pikepdf.Name.Mask, S=pikepdf.Name.Luminosity, G=group))


def highlights(pdf):
    """A highlight multiplying yellow in its own appearance, a faint one without one, and a link."""
    state = pikepdf.Dictionary(Multiply=pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, BM=pikepdf.Name.Multiply))
    own = pikepdf.Stream(pdf, b'/Multiply gs 1 1 0 rg 0 0 150 28 re f', Type=pikepdf.Name.XObject,
                         Subtype=pikepdf.Name.Form, BBox=[0, 0, 150, 28], Resources=pikepdf.Dictionary(ExtGState=state))
    def highlight(y, **more):
        return pikepdf.Dictionary(Type=pikepdf.Name.Annot, Subtype=pikepdf.Name.Highlight, F=4, C=[1, 1, 0],
                                  Rect=[18, y, 168, y + 28], QuadPoints=[18, y + 28, 168, y + 28, 18, y, 168, y],
                                  **more)
    return [highlight(233, AP=pikepdf.Dictionary(N=own)), highlight(173, CA=0.4),
            pikepdf.Dictionary(Type=pikepdf.Name.Annot, Subtype=pikepdf.Name.Link, Rect=[18, 113, 168, 141],
                               Border=[0, 0, 0], A=pikepdf.Dictionary(S=pikepdf.Name.URI,
                                                                      URI=pikepdf.String('https://example.org/')))]


def photo(pdf):
    """A picture of 8 x 8 coloured pixels."""
    pixels = bytes(v for i in range(64) for v in (i * 4, 255 - i * 4, (i % 8) * 32))
    return pikepdf.Stream(pdf, pixels, Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Image, Width=8, Height=8,
                          ColorSpace=pikepdf.Name.DeviceRGB, BitsPerComponent=8)


def make_page(path, content, annotations=lambda pdf: []):
    """A page drawing CONTENT, with the ANNOTATIONS made for the PDF."""
    pdf = pikepdf.new()
    form = pikepdf.Stream(pdf, b'BT 3 Tr /F1 20 Tf 20 160 Td (Form words) Tj ET 20 20 40 40 re f',
                          Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Form, BBox=[0, 0, WIDTH, HEIGHT],
                          Resources=pikepdf.Dictionary(Font=pikepdf.Dictionary(F1=helvetica())))
    resources = pikepdf.Dictionary(ExtGState=pikepdf.Dictionary(Half=HALF, Full=FULL, Multiply=MULTIPLY,
                                                                Masked=masked(pdf)),
                                   Font=pikepdf.Dictionary({'/F1': helvetica(), '/F2': wide_font(),
                                                            '/F3': wide_font(0, 0, -300),
                                                            **dict(block_font(pdf))}),
                                   Pattern=patterns(pdf),
                                   XObject=pikepdf.Dictionary(OCR=form, Photo=photo(pdf)), Shading=pikepdf.Dictionary(
                                       Across=pikepdf.Dictionary(ShadingType=2, ColorSpace=pikepdf.Name.DeviceRGB,
                                                                 Coords=[250, 0, 390, 0], Extend=[True, True],
                                                                 Function=pikepdf.Dictionary(
                                                                     FunctionType=2, Domain=[0, 1], C0=[1, 0, 0],
                                                                     C1=[0, 0, 1], N=1))))
    page = pikepdf.Dictionary(Type=pikepdf.Name.Page, MediaBox=[0, 0, WIDTH, HEIGHT], Resources=resources,
                              Contents=pdf.make_stream(content))
    page.Annots = pikepdf.Array([pdf.make_indirect(item) for item in annotations(pdf)])
    pdf.pages.append(pikepdf.Page(pdf.make_indirect(page)))
    pdf.save(path)


def render(pdf, out):
    """PDF's page in grey, from poppler's render in colour (its grey render blends otherwise)."""
    subprocess.run(['pdftoppm', '-r', str(DPI), '-singlefile', pdf, out], check=True)
    with Image.open(out + '.ppm') as image:
        return image.convert('L')


def word_boxes(pdf):
    """[(word, (x0, y0, x1, y1))] in points from the top left corner, as pdftotext finds them."""
    html = subprocess.run(['pdftotext', '-bbox', pdf, '-'], check=True, capture_output=True, text=True).stdout
    boxes = []
    for line in html.splitlines():
        line = line.strip()
        if line.startswith('<word '):
            attributes = dict(part.split('=') for part in line[6:line.index('>')].split())
            boxes.append((line[line.index('>') + 1:line.rindex('<')],
                          tuple(float(attributes[key].strip('"')) for key in ('xMin', 'yMin', 'xMax', 'yMax'))))
    return boxes


def pixels(box):
    return tuple(round(v * DPI / 72) for v in box)


def without_text(pdf, out):
    """The page as it is, less every text-showing operation."""
    with pikepdf.open(pdf) as document:
        page = document.pages[0]
        kept = [(operands, operator) for operands, operator in pikepdf.parse_content_stream(page)
                if str(operator) not in ('Tj', 'TJ', "'", '"')]
        page.obj.Contents = document.make_stream(pikepdf.unparse_content_stream(kept))
        document.save(out)


def annotation_kinds(pdf):
    with pikepdf.open(pdf) as document:
        return [str(item.get('/Subtype')) for item in document.pages[0].obj.get('/Annots', [])]


def carried_text(pdf):
    """The characters of PDF drawn in the carried text's colour, as pdfminer finds them."""
    carried = [value / 255 for value in emf_carried_text.CARRIED_TEXT_RGB]

    def characters(item):
        if isinstance(item, LTContainer):
            for inner in item:
                yield from characters(inner)
        elif isinstance(item, LTChar):
            colour = item.graphicstate.ncolor
            yield item.get_text() if isinstance(colour, (list, tuple)) and len(colour) == 3 and \
                all(abs(a - b) < 0.002 for a, b in zip(colour, carried)) else ' '
        else:
            yield ' '
    return ''.join(character for page in extract_pages(pdf) for character in characters(page))


def picture_sizes(pdf):
    listing = subprocess.run(['pdfimages', '-list', pdf], check=True, capture_output=True, text=True).stdout
    return [(int(line.split()[3]), int(line.split()[4])) for line in listing.splitlines()[2:]]


def check(work, name, content, opaque_words, extra):
    faults = []
    original, readied = os.path.join(work, 'original.pdf'), os.path.join(work, 'readied.pdf')
    make_page(original, content, extra.get('annotations', lambda pdf: []))
    shutil.copyfile(original, readied)
    done = subprocess.run(['/usr/bin/python3', os.path.join(SCRIPTS, 'pdf_import_pages.py'), readied],
                          capture_output=True, text=True)
    if done.returncode:
        return ['pdf_import_pages.py failed: %s' % done.stderr.strip()]
    want, got = render(original, os.path.join(work, 'want')), render(readied, os.path.join(work, 'got'))
    # poppler draws a picture up to a pixel off and resampled: each pixel of the readied page is to lie
    # between the darkest and the lightest of the page's own within two pixels.
    darker = ImageChops.subtract(want.filter(ImageFilter.MinFilter(5)), got)
    lighter = ImageChops.subtract(got, want.filter(ImageFilter.MaxFilter(5)))
    differing = sum(sum(image.point(lambda v: 255 if v > 24 else 0).histogram()[255:]) for image in (darker, lighter))
    if differing > 50:
        faults.append('%d pixels differ from the page\'s own render' % differing)
    before, after = dict(word_boxes(original)), dict(word_boxes(readied))
    without_text(readied, os.path.join(work, 'bare.pdf'))
    bare = render(os.path.join(work, 'bare.pdf'), os.path.join(work, 'bare'))
    for word in opaque_words:
        if word not in after or any(abs(a - b) > 0.5 for a, b in zip(before[word], after.get(word, ()))):
            faults.append('"%s" moved from %s to %s' % (word, before[word], after.get(word)))
        darkest = bare.crop(pixels(before[word])).getextrema()[0]
        if darkest < 200:
            faults.append('"%s" is under a picture (grey %d there without the text)' % (word, darkest))
    # The import would draw a soft mask's group as content.
    with pikepdf.open(readied) as document:
        page = document.pages[0]
        states = page.Resources.get('/ExtGState', {})
        if any(str(operator) == 'gs' and pdf_flatten.mask_and_blend(states[operands[0]])[0]
               for operands, operator in pikepdf.parse_content_stream(page)):
            faults.append('a soft mask is left in the content')
    # The import draws an annotation's appearance opaque; links stay for their targets.
    kinds = annotation_kinds(readied)
    if kinds != [kind for kind in annotation_kinds(original) if kind == '/Link']:
        faults.append('annotations left: %s' % kinds)
    carried = carried_text(readied)
    for word in extra.get('carried', ()):
        if word not in carried:
            faults.append('"%s" is not carried (carried: %r)' % (word, carried))
        if word not in after or any(abs(a - b) > 0.5 for a, b in zip(before[word], after.get(word, ()))):
            faults.append('carried "%s" moved from %s to %s' % (word, before[word], after.get(word)))
    faults += ['"%s" is carried' % word for word in opaque_words if word in carried]
    if 'pictures' in extra:
        least, most = (pdf_flatten.MAX_PICTURES if bound == 'bound' else bound for bound in extra['pictures'])
        count = len(picture_sizes(readied))
        if not least <= count <= most:
            faults.append('%d pictures, not %d to %d' % (count, least, most))
    if 'largest' in extra:
        page = (WIDTH * DPI / 72) * (HEIGHT * DPI / 72)
        largest = max((w * h for w, h in picture_sizes(readied)), default=0)
        if largest > extra['largest'] * page:
            faults.append('a picture of %d pixels, %.0f %% of the page' % (largest, 100 * largest / page))
    return ['%s: %s' % (name, fault) for fault in faults]




def check_failures(work):
    """A damaged page that draws translucently is refused in one line naming the file, one that does not is
    handed on as it is; a fault of the scripts' own is not taken for one."""
    faults = []
    damaged = os.path.join(work, 'damaged.pdf')
    make_page(damaged, b'/Half gs /x 0 0 1 0 0 cm 0 0 1 rg 20 20 50 50 re f')
    done = subprocess.run(['/usr/bin/python3', os.path.join(SCRIPTS, 'pdf_import_pages.py'), damaged],
                          capture_output=True, text=True)
    if done.returncode != 1 or 'Traceback' in done.stderr or damaged not in done.stderr or \
            'where a number belongs' not in done.stderr:
        faults.append('a damaged page: exit %d, %s' % (done.returncode, done.stderr.strip()))
    # Damaged content on a page that draws nothing translucently (a stream that does not decode, a string
    # where a name belongs), which the import draws as far as it reads it: handed on as it is.
    for content, filters in ((b'x\x9c not compressed', pikepdf.Name.FlateDecode),
                             (b'0 g BT (x) 14 Tf 3 Tr 20 100 Td (Words) Tj ET', None)):
        make_page(damaged, b'')
        with pikepdf.open(damaged, allow_overwriting_input=True) as document:
            page = document.pages[0]
            for kind in ('/ExtGState', '/Pattern'):
                del page.Resources[kind]
            page.obj.Contents = document.make_stream(content)
            if filters is not None:
                page.obj.Contents.Filter = filters
            document.save(damaged)
        done = subprocess.run(['/usr/bin/python3', os.path.join(SCRIPTS, 'pdf_import_pages.py'), damaged],
                              capture_output=True, text=True)
        with pikepdf.open(damaged) as document:
            kept = document.pages[0].obj.Contents
            kept = kept[-1] if isinstance(kept, pikepdf.Array) else kept
            kept = kept.read_raw_bytes() if filters is not None else kept.read_bytes()
        if done.returncode or kept != content:
            faults.append('damaged content drawing nothing translucently: exit %d, %s, content %r'
                          % (done.returncode, done.stderr.strip(), kept))
    def fault_of_ours(*_):
        raise TypeError('a fault of the scripts')
    pdf_flatten.flatten, sys.argv = fault_of_ours, ['pdf_import_pages.py', damaged]
    try:
        runpy.run_path(os.path.join(SCRIPTS, 'pdf_import_pages.py'), run_name='__main__')
        faults.append('a fault of the scripts went unnoticed')
    except TypeError:
        pass
    except SystemExit as told:
        faults.append('a fault of the scripts was told as a damaged file: %s' % told)
    return faults


def main():
    faults = []
    with tempfile.TemporaryDirectory(prefix='brindlepage-test.') as work:
        for name, content, opaque_words, extra in CASES:
            faults += check(work, name, content, opaque_words, extra)
        faults += check_failures(work)
    for fault in faults:
        print('FAIL: %s' % fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

# Writes the sample report (a flat ODF text document, three A4 pages): headings and body text, a ruled
# table, a photo drawn here (a small landscape with grain, embedded as PNG) and a link. remake.sh turns it
# into the page metafiles beside it, and marks the link in them with the text and URL this prints.
#   make_report.py OUT.fodt   (prints the link's text and URL, a tab between)
import base64
import math
import os
import random
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
from flat_odf import flat_document  # noqa: E402

LINK_TEXT = 'Brindlepage user guide'
LINK_URL = 'https://example.com/brindlepage/guide'


def png(width, height, pixel):
    """A PNG of 8-bit RGB rows, pixel(x, y) giving (r, g, b)."""
    rows = b''.join(b'\0' + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))


def landscape(width, height):
    grain = random.Random(20)
    sun_x, sun_y = width * 0.72, height * 0.3

    def pixel(x, y):
        ridge = height * (0.58 + 0.07 * math.sin(x / width * 7.0) + 0.03 * math.sin(x / width * 23.0 + 1.0))
        lake = height * 0.8
        if y > lake:                       # water, darker with depth
            t = (y - lake) / (height - lake)
            colour = (40 + 30 * (1 - t), 80 + 40 * (1 - t), 120 + 50 * (1 - t))
        elif y > ridge:                    # hills, lit from the sun's side
            light = 0.6 + 0.4 * x / width
            colour = (60 * light, 120 * light, 50 * light)
        else:                              # sky to the horizon, and the sun
            t = y / ridge
            colour = (120 + 110 * t, 170 + 60 * t, 240 - 20 * t)
            d = math.hypot(x - sun_x, y - sun_y)
            if d < height * 0.09:
                colour = (255, 240, 190)
            elif d < height * 0.2:
                glow = 1 - (d - height * 0.09) / (height * 0.11)
                colour = tuple(c + (255 - c) * 0.5 * glow for c in colour)
        return tuple(max(0, min(255, int(c + grain.gauss(0, 6)))) for c in colour)
    return png(width, height, pixel)


def paragraphs(texts, style='Body'):
    return ''.join('<text:p text:style-name="%s">%s</text:p>' % (style, t) for t in texts)


def table():
    rows = [('Quarter', 'Pages', 'Size (KB)', 'Time (s)'), ('First', '1 240', '9 920', '186'),
            ('Second', '1 515', '11 360', '212'), ('Third', '980', '7 150', '141'), ('Fourth', '2 030', '15 630', '280')]
    cells = ''.join('<table:table-row>%s</table:table-row>' % ''.join(
        '<table:table-cell table:style-name="Cell"><text:p text:style-name="%s">%s</text:p></table:table-cell>'
        % ('Head' if r == 0 else 'Figure', c) for c in row) for r, row in enumerate(rows))
    return ('<table:table table:name="Figures" table:style-name="Figures"><table:table-column '
            'table:number-columns-repeated="4"/>%s</table:table>' % cells)


def document():
    photo = base64.b64encode(landscape(240, 150)).decode('ascii')
    body = (
        '<text:h text:style-name="Title" text:outline-level="1">Archiving the yearly reports</text:h>' +
        paragraphs([
            'This report shows how the office keeps its yearly documents: every report is saved as a DjVu '
            'file straight from the application it was written in, with its text kept searchable and its '
            'links kept working.',
            'How to install the add-in and save a document is told in the <text:a xlink:type="simple" '
            'xlink:href="%s">%s</text:a>, which also lists what the add-in does not do.' % (LINK_URL, LINK_TEXT),
            'The photo below, taken at the lake behind the office, is kept in colour in the background layer '
            'while the text around it stays sharp in the foreground layer.']) +
        '<text:p text:style-name="Body"><draw:frame draw:style-name="Photo" draw:name="Photo" '
        'text:anchor-type="as-char" svg:width="120mm" svg:height="75mm"><draw:image><office:binary-data>%s'
        '</office:binary-data></draw:image></draw:frame></text:p>' % photo +
        paragraphs(['The lake behind the office in the spring.'], 'Caption') +
        '<text:h text:style-name="Break" text:outline-level="1">Figures of the year</text:h>' +
        paragraphs(['The table gives the pages archived in each quarter, the size of the files made and the '
                    'time the saving took.']) + table() +
        paragraphs(['The fourth quarter holds the year-end accounts, which are long and mostly tables; their '
                    'pages compress well because the ruled lines and the digits repeat.',
                    'Pages with photos are larger: the picture is kept in the background at a third of the '
                    'resolution of the text.']) +
        '<text:h text:style-name="Break" text:outline-level="1">What comes next</text:h>' +
        paragraphs(['Next year the presentations and the spreadsheets of the office will be archived the same '
                    'way. Slides are wide pages; each sheet of a workbook is printed on as many pages as it needs.',
                    'Questions go to the archive team.']))
    return flat_document(
        'text',
        '<style:page-layout style:name="A4"><style:page-layout-properties fo:page-width="210mm" '
        'fo:page-height="297mm" fo:margin-top="25mm" fo:margin-bottom="25mm" fo:margin-left="25mm" '
        'fo:margin-right="25mm"/></style:page-layout>'
        '<style:style style:name="Title" style:family="paragraph"><style:paragraph-properties '
        'fo:margin-bottom="6mm"/><style:text-properties style:font-name="Liberation Sans" fo:font-family="'
        '\'Liberation Sans\'" fo:font-size="20pt" fo:font-weight="bold"/></style:style>'
        '<style:style style:name="Break" style:family="paragraph">'
        '<style:paragraph-properties fo:break-before="page" fo:margin-bottom="6mm"/><style:text-properties '
        'fo:font-family="\'Liberation Sans\'" fo:font-size="20pt" fo:font-weight="bold"/></style:style>'
        '<style:style style:name="Body" style:family="paragraph"><style:paragraph-properties '
        'fo:margin-bottom="3mm"/><style:text-properties fo:font-family="'
        '\'Liberation Serif\'" fo:font-size="12pt"/></style:style>'
        '<style:style style:name="Head" style:family="paragraph"><style:text-properties fo:font-family="'
        '\'Liberation Sans\'" fo:font-size="11pt" fo:font-weight="bold"/></style:style>'
        '<style:style style:name="Figure" style:family="paragraph"><style:text-properties fo:font-family="'
        '\'Liberation Sans\'" fo:font-size="11pt"/></style:style>'
        '<style:style style:name="Caption" style:family="paragraph"><style:paragraph-properties '
        'fo:margin-bottom="3mm"/><style:text-properties fo:font-family="\'Liberation Serif\'" '
        'fo:font-size="10pt" fo:font-style="italic"/></style:style>'
        '<style:style style:name="Figures" style:family="table"><style:table-properties style:width="160mm" '
        'fo:margin-bottom="4mm" table:align="left"/></style:style>'
        '<style:style style:name="Cell" style:family="table-cell"><style:table-cell-properties '
        'fo:border="0.5pt solid #000000" fo:padding="1.5mm"/></style:style>'
        '<style:style style:name="Photo" style:family="graphic"><style:graphic-properties '
        'style:vertical-pos="top" style:vertical-rel="baseline"/></style:style>',
        '<style:master-page style:name="Standard" style:page-layout-name="A4"/>', body)


if __name__ == '__main__':
    with open(sys.argv[1], 'w') as f:
        f.write(document())
    print('%s\t%s' % (LINK_TEXT, LINK_URL))

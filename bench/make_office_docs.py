# Multi-page office documents as flat ODF for LibreOffice to turn into PDF: a Word-like report (headings,
# body text, coloured call-out boxes, a table and a photo on every page), slides (coloured backgrounds,
# titles, bullets, a photo), a spreadsheet (a long table of figures with a coloured header row) and a page
# of lines of one size, each sentence plain and bold.
#   make_office_docs.py PAGES OUTDIR [WxH]   -> OUTDIR/report.fodt, slides.fodp, sheet.fods, weights.fodt
# WxH sets the photos' size in pixels (default 320x220); small ones keep page metafiles small for tests.
import base64, math, random, struct, sys, zlib

pages = int(sys.argv[1]); out = sys.argv[2]
photo_size = tuple(int(v) for v in (sys.argv[3] if len(sys.argv) > 3 else '320x220').split('x'))
words = open('/usr/share/common-licenses/GPL-3').read().split()
pos = 0

def sentence(n):
    global pos
    s = ' '.join(words[(pos + i) % len(words)] for i in range(n)); pos += n
    return s.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')

def photo_png(seed):
    w, h = photo_size
    rnd = random.Random(seed)
    waves = [(rnd.uniform(0.01, 0.05), rnd.uniform(0.01, 0.05), rnd.uniform(0, 6)) for _ in range(3)]
    raw = bytearray()
    for y in range(h):
        raw.append(0)
        for x in range(w):
            for c, (fx, fy, ph) in enumerate(waves):
                v = 128 + 80 * math.sin(fx * x + ph) * math.cos(fy * y + c) + rnd.gauss(0, 10)
                raw.append(max(0, min(255, int(v))))
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')
    return base64.b64encode(png).decode()

NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'xmlns:xlink="http://www.w3.org/1999/xlink" '
      'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" office:version="1.2"')

def document(mime, styles, body):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document %s office:mimetype="%s">'
            '<office:automatic-styles>%s</office:automatic-styles><office:body>%s</office:body></office:document>\n'
            % (NS, mime, styles, body))

def image(seed, w, h, anchor=''):
    return ('<draw:frame draw:name="p%d" svg:width="%s" svg:height="%s" %s><draw:image>'
            '<office:binary-data>%s</office:binary-data></draw:image></draw:frame>' % (seed, w, h, anchor, photo_png(seed)))

# Report
styles = ('<style:style style:name="H" style:family="paragraph"><style:text-properties fo:font-size="18pt" '
          'fo:font-weight="bold" fo:color="#1f4e79"/></style:style>'
          '<style:style style:name="Box" style:family="paragraph"><style:paragraph-properties '
          'fo:background-color="#fff2cc" fo:padding="0.2cm"/></style:style>'
          '<style:style style:name="Hd" style:family="table-cell"><style:table-cell-properties '
          'fo:background-color="#dde8f8" fo:border="0.5pt solid #000000"/></style:style>'
          '<style:style style:name="C" style:family="table-cell"><style:table-cell-properties '
          'fo:border="0.5pt solid #000000"/></style:style>'
          '<style:style style:name="Br" style:family="paragraph"><style:paragraph-properties '
          'fo:break-before="page"/></style:style>')
body = []
for p in range(pages):
    body.append('<text:p text:style-name="%s"/>' % ('Br' if p else 'Standard'))
    body.append('<text:p text:style-name="H">%d. Quarterly report, part %d</text:p>' % (p + 1, p + 1))
    body.append('<text:p>%s</text:p>' % image(p, '8cm', '5.5cm', 'text:anchor-type="as-char"'))
    for k in range(3):
        body.append('<text:p>%s</text:p>' % sentence(90))
    body.append('<text:p text:style-name="Box">Note: %s</text:p>' % sentence(40))
    body.append('<table:table table:name="T%d"><table:table-column table:number-columns-repeated="4"/>' % p)
    for r in range(6):
        cells = ''.join('<table:table-cell table:style-name="%s"><text:p>%s</text:p></table:table-cell>'
                        % ('Hd' if r == 0 else 'C', ('Item %d' % c) if r == 0 else '%.2f' % random.Random(r * 7 + c + p).uniform(0, 9999))
                        for c in range(4))
        body.append('<table:table-row>%s</table:table-row>' % cells)
    body.append('</table:table>')
    body.append('<text:p>%s</text:p>' % sentence(120))
open(out + '/report.fodt', 'w').write(document('application/vnd.oasis.opendocument.text', styles,
                                                '<office:text>%s</office:text>' % ''.join(body)))

# Slides
styles = ''.join('<style:style style:name="bg%d" style:family="graphic"><style:graphic-properties draw:fill="solid" '
                 'draw:fill-color="%s" draw:stroke="none"/></style:style>' % (i, c)
                 for i, c in enumerate(['#1f4e79', '#e2efda', '#fce4d6']))
styles += ('<style:style style:name="tw" style:family="paragraph"><style:text-properties fo:font-size="36pt" '
           'fo:color="#ffffff" fo:font-weight="bold"/></style:style>'
           '<style:style style:name="tb" style:family="paragraph"><style:text-properties fo:font-size="20pt" '
           'fo:color="#202020"/></style:style>')
slides = []
for p in range(pages):
    bullets = ''.join('<text:p text:style-name="tb">&#8226; %s</text:p>' % sentence(8) for _ in range(5))
    slides.append('<draw:page draw:name="s%d">'
                  '<draw:rect draw:style-name="bg%d" svg:x="0cm" svg:y="0cm" svg:width="28cm" svg:height="15.75cm"/>'
                  '<draw:rect draw:style-name="bg0" svg:x="0cm" svg:y="0cm" svg:width="28cm" svg:height="3cm"/>'
                  '<draw:frame svg:x="1cm" svg:y="0.5cm" svg:width="26cm" svg:height="2cm"><draw:text-box>'
                  '<text:p text:style-name="tw">Slide %d: %s</text:p></draw:text-box></draw:frame>'
                  '<draw:frame svg:x="1cm" svg:y="4cm" svg:width="15cm" svg:height="10cm"><draw:text-box>%s'
                  '</draw:text-box></draw:frame>%s</draw:page>'
                  % (p, 1 + p % 2, p + 1, sentence(3), bullets,
                     image(100 + p, '10cm', '7cm', 'svg:x="17cm" svg:y="5cm"')))
open(out + '/slides.fodp', 'w').write(document('application/vnd.oasis.opendocument.presentation', styles,
                                                '<office:presentation>%s</office:presentation>' % ''.join(slides)))

# Spreadsheet: about 50 rows a printed page
styles = ('<style:style style:name="Hd" style:family="table-cell"><style:table-cell-properties '
          'fo:background-color="#c6e0b4" fo:border="0.5pt solid #000000"/><style:text-properties fo:font-weight="bold"/>'
          '</style:style><style:style style:name="C" style:family="table-cell"><style:table-cell-properties '
          'fo:border="0.5pt solid #808080"/></style:style>')
rnd = random.Random(5)
rows = ['<table:table-row>%s</table:table-row>' % ''.join(
    '<table:table-cell table:style-name="Hd" office:value-type="string"><text:p>%s</text:p></table:table-cell>' % h
    for h in ['Region', 'Product', 'Q1', 'Q2', 'Q3', 'Q4', 'Total'])]
for r in range(pages * 48):
    q = [rnd.uniform(100, 99999) for _ in range(4)]
    cells = ('<table:table-cell table:style-name="C" office:value-type="string"><text:p>Region %d</text:p></table:table-cell>'
             '<table:table-cell table:style-name="C" office:value-type="string"><text:p>%s</text:p></table:table-cell>'
             % (r % 9, words[r % len(words)][:14].replace('&', '').replace('<', '')))
    cells += ''.join('<table:table-cell table:style-name="C" office:value-type="float" office:value="%.2f"><text:p>%.2f</text:p></table:table-cell>' % (v, v) for v in q + [sum(q)])
    rows.append('<table:table-row>%s</table:table-row>' % cells)
open(out + '/sheet.fods', 'w').write(document('application/vnd.oasis.opendocument.spreadsheet', styles,
                                               '<office:spreadsheet><table:table table:name="Sales">'
                                               '<table:table-column table:number-columns-repeated="7"/>%s</table:table>'
                                               '</office:spreadsheet>' % ''.join(rows)))

# Weights: a report page of body-size lines, each sentence once plain and once bold (a line each), for the
# ink of bold text over plain text of one size.
styles = ''.join('<style:style style:name="%s" style:family="paragraph"><style:paragraph-properties '
                 'fo:margin-bottom="0.1cm"/><style:text-properties fo:font-size="11pt"%s/></style:style>'
                 % (name, weight) for name, weight in (('Plain', ''), ('Bold', ' fo:font-weight="bold"')))
lines = []
for k in range(12):
    text = sentence(9)
    lines += ['<text:p text:style-name="Plain">%s</text:p>' % text, '<text:p text:style-name="Bold">%s</text:p>' % text]
open(out + '/weights.fodt', 'w').write(document('application/vnd.oasis.opendocument.text', styles,
                                                 '<office:text>%s</office:text>' % ''.join(lines)))

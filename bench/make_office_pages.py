# Office-like pages as PostScript, for the segmenter's tests and benchmark: body text in several fonts, a
# table with ruled lines, a photo-like picture (smooth colours with grain), a dark coloured band with white
# text and a pale band with dark text. With "ink" the text and the rules are drawn; with "paper" only the
# bands and the picture, so that the difference of the two renders is the set of text pixels. Prints, per
# page, the picture's rectangle in 300-dpi pixels from the top-left corner: "photo X Y W H".
# Two more A4 kinds have no paper variant: "sheet", a spreadsheet page (a ruled grid of figures under a
# coloured header row), and "photo", one smooth grainy picture over the whole page.
#   make_office_pages.py PAGES a4|slide|sheet|photo ink|paper OUT.ps
import math, random, sys

pages = int(sys.argv[1]); kind = sys.argv[2]; ink = sys.argv[3] == 'ink'; out = sys.argv[4]
width, height = (960, 540) if kind == 'slide' else (595, 842)
words = open('/usr/share/common-licenses/GPL-3').read().split()
fonts = ['Times-Roman', 'Helvetica', 'Palatino-Roman', 'Courier', 'NewCenturySchlbk-Roman']

def text(s):
    return '(' + s.replace('\\', '\\\\').replace('(', '\\(').replace(')', '\\)') + ')'

def photo_hex(seed, w, h):
    rnd = random.Random(seed)
    waves = [(rnd.uniform(0.01, 0.06), rnd.uniform(0.01, 0.06), rnd.uniform(0, 6)) for _ in range(3)]
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            for c, (fx, fy, ph) in enumerate(waves):
                v = 128 + 70 * math.sin(fx * x + ph) * math.cos(fy * y + c) + rnd.gauss(0, 18)
                row.append('%02x' % max(0, min(255, int(v))))
        rows.append(''.join(row))
    return '\n'.join(rows)

ps = ['%!PS-Adobe-3.0', '%%%%BoundingBox: 0 0 %d %d' % (width, height), '%%%%Pages: %d' % pages,
      '<< /PageSize [%d %d] >> setpagedevice' % (width, height)]

def sheet_page(p):
    rnd = random.Random(p)
    cols, rh, left, top = 8, 14, 36, height - 40
    cw = (width - 2 * left) // cols
    ps.append('0.85 0.90 0.98 setrgbcolor %d %d %d %d rectfill' % (left, top - rh, cols * cw, rh))
    ps.append('0 setgray 0.5 setlinewidth /Helvetica findfont 8 scalefont setfont')
    rows = (top - 40) // rh
    for r in range(rows + 1):
        ps.append('%d %d moveto %d 0 rlineto stroke' % (left, top - r * rh, cols * cw))
    for c in range(cols + 1):
        ps.append('%d %d moveto 0 %d rlineto stroke' % (left + c * cw, top, -rows * rh))
    for r in range(rows):
        for c in range(cols):
            cell = ('Column %c' % (65 + c)) if r == 0 else ('Row %d' % r) if c == 0 else \
                '%.2f' % rnd.uniform(-5000, 90000)
            ps.append('%d %d moveto %s show' % (left + c * cw + 3, top - (r + 1) * rh + 4, text(cell)))

pos = 0
for p in range(pages):
    ps.append('%%%%Page: %d %d' % (p + 1, p + 1))
    if kind in ('sheet', 'photo'):
        if kind == 'sheet':
            sheet_page(p)
        else:
            ps.append('gsave 0 0 translate %d %d scale 300 420 8 [300 0 0 -420 0 420] currentfile /ASCIIHexDecode '
                      'filter false 3 colorimage' % (width, height))
            ps.append(photo_hex(p, 300, 420) + '>')
            ps.append('grestore')
        ps.append('showpage')
        continue
    margin = 54
    # Dark band with a white title near the top, pale band lower down.
    band = height - margin - 60
    ps.append('0.16 0.30 0.55 setrgbcolor 0 %d %d 60 rectfill' % (band, width))
    if ink:
        ps.append('1 setgray /Helvetica-Bold findfont 28 scalefont setfont %d %d moveto %s show'
                  % (margin, band + 20, text('Quarterly report %d' % (p + 1))))
    # Picture at the right of the body text.
    pw, ph = (200, 140) if kind == 'a4' else (340, 220)
    px, py = width - margin - pw, band - 30 - ph
    dots = 300 / 72
    print('photo %d %d %d %d' % (round(px * dots), round((height - py - ph) * dots), round(pw * dots), round(ph * dots)))
    ps.append('gsave %d %d translate %d %d scale 150 105 8 [150 0 0 -105 0 105] currentfile /ASCIIHexDecode '
              'filter false 3 colorimage' % (px, py, pw, ph))
    ps.append(photo_hex(p, 150, 105) + '>')
    ps.append('grestore')
    # Body text beside and below the picture, then the table, then more text to the bottom margin.
    font = fonts[p % len(fonts)]
    size = 10 + p % 3
    lead = size * 1.3
    if ink:
        ps.append('0 setgray /%s findfont %d scalefont setfont' % (font, size))

    def body(y, bottom):
        global pos
        while y > bottom:
            right = px - 15 if y > py - size else width - margin
            chars = int((right - margin) / (size * (0.6 if font == 'Courier' else 0.5)))
            line = ''
            while len(line) < chars:
                line = (line + ' ' + words[pos % len(words)]).strip(); pos += 1
            if ink:
                ps.append('%d %.1f moveto %s show' % (margin, y, text(line)))
            y -= lead

    table_top = py - 160 if kind == 'a4' else margin + 120
    body(band - 30 - size, table_top + 20)
    # Table: 4 columns, 6 rows, ruled, on a pale band.
    rows, cols, rh = 6, 4, 18
    tw = width - 2 * margin
    ty = table_top - rows * rh
    ps.append('1.0 0.96 0.80 setrgbcolor %d %d %d %d rectfill' % (margin - 6, ty - 6, tw + 12, rows * rh + 12))
    if ink:
        ps.append('0 setgray 0.8 setlinewidth')
        for r in range(rows + 1):
            ps.append('%d %d moveto %d 0 rlineto stroke' % (margin, ty + r * rh, tw))
        for c in range(cols + 1):
            ps.append('%d %d moveto 0 %d rlineto stroke' % (margin + c * tw // cols, ty, rows * rh))
        ps.append('/Helvetica findfont 9 scalefont setfont')
        for r in range(rows):
            for c in range(cols):
                cell = words[(pos + r * cols + c) % len(words)][:12] if c else 'Item %d.%d' % (p + 1, r + 1)
                ps.append('%d %d moveto %s show' % (margin + c * tw // cols + 4, ty + r * rh + 5, text(cell)))
        ps.append('/%s findfont %d scalefont setfont' % (font, size))
    body(ty - 30, margin)
    ps.append('showpage')
open(out, 'w').write('\n'.join(ps) + '\n')

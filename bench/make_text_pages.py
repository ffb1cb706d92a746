import sys, textwrap
src = open('/usr/share/common-licenses/GPL-3').read().split()
fonts = [('Times-Roman', 11), ('Helvetica', 10), ('Courier', 10), ('Times-Italic', 12), ('Helvetica-Bold', 9),
         ('Palatino-Roman', 11), ('NewCenturySchlbk-Roman', 10), ('Times-Roman', 14)]
n = int(sys.argv[1]); out = sys.argv[2]
pos = 0
ps = ['%!PS-Adobe-3.0', '%%Pages: %d' % n]
for p in range(n):
    font, size = fonts[p % len(fonts)]
    ps.append('%%%%Page: %d %d' % (p + 1, p + 1))
    ps.append('/%s findfont %d scalefont setfont' % (font, size))
    lead = size * 1.25
    y = 792 - 72
    cpl = int(468 / (size * (0.6 if font == 'Courier' else 0.5)))
    while y > 72:
        words = []
        line = ''
        while len(line) < cpl:
            w = src[pos % len(src)]; pos += 1
            line = (line + ' ' + w).strip()
        s = line.replace('\\', '\\\\').replace('(', '\\(').replace(')', '\\)')
        ps.append('72 %.1f moveto (%s) show' % (y, s))
        y -= lead
    ps.append('showpage')
open(out, 'w').write('\n'.join(ps) + '\n')

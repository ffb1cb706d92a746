# A one-page A4 PDF that draws translucently in each way a page can, for the page-metafile test; prints the
# places (millimetres from the top left corner) where its colours are to be checked.
#   make_translucent_pdf.py OUT.pdf
# A red square with a black one of 50 % fill alpha over its right half and as much white beside it (the
# overlap is 127,0,0 in poppler's render); a blue line of 50 % stroke alpha; a green picture behind a soft
# mask of half coverage; a letter I of 50 % fill alpha; a form that draws a black square at 50 % alpha in a
# transparency group of its own; a line of opaque text before all of them, and a last one over the red
# square.
import sys

import pikepdf

POINTS = [(108, 700), (180, 700), (252, 700), (180, 560), (392, 636), (370, 420), (144, 236)]
CONTENT = b'''0 g BT /F1 14 Tf 320 780 Td (Opaque text first) Tj ET
1 0 0 rg 72 600 144 144 re f
q /Half gs 0 0 0 rg 144 600 144 144 re f Q
q /Half gs 0 0 1 RG 20 w 72 560 m 288 560 l S Q
q 144 0 0 72 320 600 cm /Masked Do Q
q /Half gs 0 g BT /F1 360 Tf 320 300 Td (I) Tj ET Q
/Group Do
0 g BT /F1 14 Tf 80 610 Td (Opaque text stays) Tj ET
'''


def main(out):
    pdf = pikepdf.new()
    half = pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, ca=0.5, CA=0.5)
    font = pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1, BaseFont=pikepdf.Name.Helvetica)
    mask = pikepdf.Stream(pdf, bytes([128] * 4), Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Image, Width=2,
                          Height=2, ColorSpace=pikepdf.Name.DeviceGray, BitsPerComponent=8)
    masked = pikepdf.Stream(pdf, bytes([0, 160, 0] * 4), Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Image,
                            Width=2, Height=2, ColorSpace=pikepdf.Name.DeviceRGB, BitsPerComponent=8, SMask=mask)
    group = pikepdf.Stream(pdf, b'/Half gs 0 g 72 200 144 72 re f', Type=pikepdf.Name.XObject,
                           Subtype=pikepdf.Name.Form, BBox=[72, 200, 216, 272],
                           Group=pikepdf.Dictionary(S=pikepdf.Name.Transparency),
                           Resources=pikepdf.Dictionary(ExtGState=pikepdf.Dictionary(Half=half)))
    page = pikepdf.Dictionary(Type=pikepdf.Name.Page, MediaBox=[0, 0, 595, 842], Contents=pdf.make_stream(CONTENT),
                              Resources=pikepdf.Dictionary(ExtGState=pikepdf.Dictionary(Half=half),
                                                           Font=pikepdf.Dictionary(F1=font),
                                                           XObject=pikepdf.Dictionary(Masked=masked, Group=group)))
    pdf.pages.append(pikepdf.Page(page))
    pdf.save(out)
    print(' '.join('%.1f,%.1f' % (x * 25.4 / 72, (842 - y) * 25.4 / 72) for x, y in POINTS))


if __name__ == '__main__':
    main(*sys.argv[1:])

# Draws the filled shapes of a page metafile that are thinner than a pixel of the exporter's 300-dpi page
# with a one-pixel outline of their own colour. LibreOffice's PDF import turns a stroke (a 0.1 pt rule, a
# thin table border, a tracked change's bar) into a filled polygon without a pen, and GDI fills only the
# pixels whose centres lie inside a polygon: one under a pixel wide may cover none and vanish, where poppler
# draws a line thinner than a pixel one pixel wide. A cosmetic pen draws one pixel at any resolution.
import struct

from emf_records import (EMR_SELECTOBJECT, EMR_CREATEPEN, EMR_CREATEBRUSHINDIRECT, EMR_EXTCREATEPEN,
                         EMR_DELETEOBJECT, EMR_SAVEDC, EMR_RESTOREDC)

EMR_POLYGON, EMR_POLYPOLYGON, EMR_POLYGON16, EMR_POLYPOLYGON16 = 3, 8, 86, 91
PS_SOLID, PS_NULL, BS_SOLID = 0, 5, 0
STOCK = 0x80000000
STOCK_PENS = {STOCK | 6: 'pen', STOCK | 7: 'pen', STOCK | 8: None}          # white, black, null
STOCK_BRUSHES = {STOCK | 0: 0xFFFFFF, STOCK | 4: 0, STOCK | 5: None}      # white, black, hollow
PIXEL = 2540 / 300     # a pixel of the 300-dpi page in the drawing's hundredths of a millimetre


def polygons(kind, record):
    """The point lists of a polygon record, or None for a record of another kind (or too short)."""
    if kind in (EMR_POLYGON, EMR_POLYGON16):
        counts, at = struct.unpack_from('<I', record, 24), 28
    elif kind in (EMR_POLYPOLYGON, EMR_POLYPOLYGON16):
        number, = struct.unpack_from('<I', record, 24)
        if len(record) < 32 + 4 * number:
            return None
        counts, at = struct.unpack_from('<%dI' % number, record, 32), 32 + 4 * number
    else:
        return None
    form = 'h' if kind in (EMR_POLYGON16, EMR_POLYPOLYGON16) else 'i'
    size = struct.calcsize(form)
    if len(record) < at + 2 * size * sum(counts):
        return None
    result = []
    for count in counts:
        values = struct.unpack_from('<%d%s' % (2 * count, form), record, at)
        result.append(list(zip(values[0::2], values[1::2])))
        at += 2 * size * count
    return result


def mean_width(points):
    """Twice the area over the perimeter: a long shape's width, half a small square's side."""
    area = perimeter = 0.0
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        area += x0 * y1 - x1 * y0
        perimeter += ((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5
    return abs(area) / perimeter if perimeter else 0.0


def outline_thin_shapes(emf):
    """Gives every polygon record that fills in a solid colour without a pen, all its polygons thinner than
    a pixel, a cosmetic pen of that colour while it draws."""
    objects = {}                  # handle -> ('pen', drawn) or ('brush', solid colour or None)
    pen, brush = (STOCK | 7, 'pen'), (STOCK | 0, 0xFFFFFF)   # (handle, what it draws) as a DC starts
    saved, records, handle = [], [], None
    for kind, record in emf.records:
        if kind == EMR_CREATEPEN:
            index, style = struct.unpack_from('<II', record, 8)
            objects[index] = ('pen', None if style & 0xF == PS_NULL else 'pen')
        elif kind == EMR_EXTCREATEPEN:
            index, = struct.unpack_from('<I', record, 8)
            style, = struct.unpack_from('<I', record, 28)
            objects[index] = ('pen', None if style & 0xF == PS_NULL else 'pen')
        elif kind == EMR_CREATEBRUSHINDIRECT:
            index, style, colour = struct.unpack_from('<III', record, 8)
            objects[index] = ('brush', colour if style == BS_SOLID else None)
        elif kind == EMR_SELECTOBJECT:
            index, = struct.unpack_from('<I', record, 8)
            if index in STOCK_PENS or objects.get(index, ('',))[0] == 'pen':
                pen = (index, STOCK_PENS[index] if index in STOCK_PENS else objects[index][1])
            elif index in STOCK_BRUSHES or objects.get(index, ('',))[0] == 'brush':
                brush = (index, STOCK_BRUSHES[index] if index in STOCK_BRUSHES else objects[index][1])
        elif kind == EMR_SAVEDC:
            saved.append((pen, brush))
        elif kind == EMR_RESTOREDC:
            relative, = struct.unpack_from('<i', record, 8)
            at = len(saved) + relative if relative < 0 else relative - 1
            if 0 <= at < len(saved):
                pen, brush = saved[at]
                del saved[at:]
        shapes = polygons(kind, record)
        if shapes and pen[1] is None and brush[1] is not None and \
                all(mean_width(points) < PIXEL for points in shapes):
            if handle is None:
                handle = emf.add_handle()
            records += [(EMR_CREATEPEN, struct.pack('<IIIIiiI', EMR_CREATEPEN, 28, handle, PS_SOLID, 0, 0, brush[1])),
                        (EMR_SELECTOBJECT, struct.pack('<III', EMR_SELECTOBJECT, 12, handle)),
                        (kind, record),
                        (EMR_SELECTOBJECT, struct.pack('<III', EMR_SELECTOBJECT, 12, pen[0])),
                        (EMR_DELETEOBJECT, struct.pack('<III', EMR_DELETEOBJECT, 12, handle))]
        else:
            records.append((kind, record))
    emf.records = records

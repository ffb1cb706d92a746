# Makes the filled shapes of a page metafile that are thinner than a pixel of the exporter's 300-dpi page
# a pixel thick. LibreOffice's PDF import turns a stroke (a 0.1 pt rule, a thin table border, a tracked
# change's bar) into a filled polygon, and GDI fills only the pixels whose centres lie inside a polygon:
# one under a pixel high covers a row of them or none, as it falls on the page, where poppler draws a line
# thinner than a pixel one pixel wide. A polygon less than a pixel high (or wide) is stretched about its
# middle to a little over a pixel, which holds a row (column) of pixel centres wherever it falls.
import math
import struct

from emf_records import EMR_POLYGON, EMR_POLYGON16, EMR_POLYPOLYGON, EMR_POLYPOLYGON16

# A pixel of the 300-dpi page in the drawing's hundredths of a millimetre (8.47), rounded up.
PIXEL = 9


def point_lists(kind, record):
    """The offset of the first point, the points' format and each polygon's point count, or None for a
    record of another kind or one too short for its points."""
    if kind in (EMR_POLYGON, EMR_POLYGON16) and len(record) >= 28:
        counts, at = struct.unpack_from('<I', record, 24), 28
    elif kind in (EMR_POLYPOLYGON, EMR_POLYPOLYGON16) and len(record) >= 32:
        number, = struct.unpack_from('<I', record, 24)
        if len(record) < 32 + 4 * number:
            return None
        counts, at = struct.unpack_from('<%dI' % number, record, 32), 32 + 4 * number
    else:
        return None
    form = '<%dh' if kind in (EMR_POLYGON16, EMR_POLYPOLYGON16) else '<%di'
    if len(record) < at + struct.calcsize(form % (2 * sum(counts))):
        return None
    return at, form, counts


def stretched(values):
    """VALUES (one coordinate of a polygon's points) stretched about their middle to PIXEL apart when they
    lie less than that apart, but apart."""
    low, high = min(values), max(values)
    if not 0 < high - low < PIXEL:
        return list(values)
    middle, scale = (low + high) / 2, PIXEL / (high - low)
    # Rounded away from the middle, so that they lie at least PIXEL apart.
    return [math.floor(middle + (value - middle) * scale) if value < middle else
            math.ceil(middle + (value - middle) * scale) if value > middle else round(value) for value in values]


def thicken_thin_shapes(emf):
    for index, (kind, record) in enumerate(emf.records):
        found = point_lists(kind, record)
        if not found:
            continue
        at, form, counts = found
        record, changed = bytearray(record), False
        for count in counts:
            points = struct.unpack_from(form % (2 * count), record, at)
            xs, ys = stretched(points[0::2]), stretched(points[1::2])
            if xs != list(points[0::2]) or ys != list(points[1::2]):
                merged = [value for point in zip(xs, ys) for value in point]
                struct.pack_into(form % (2 * count), record, at, *merged)
                changed = True
            at += struct.calcsize(form % (2 * count))
        if changed:
            emf.records[index] = (kind, bytes(record))

# Makes a page metafile that LibreOffice's Draw exported from one PDF page carry the whole page, as Office
# hands its pages over: the frame is the page and the drawing keeps its place on it.
#   /usr/bin/python3 emf_page_frame.py PAGE.emf WIDTH_PT HEIGHT_PT FAMILIES
# FAMILIES: the installed fonts' families as emf_font_families.py lists them, read once for all pages.
# LibreOffice sizes the frame from the drawing page within its margins (which its PDF import sets from the
# content, and 10 mm at the bottom: pdf_import_pages.py lengthens the page by that), so the frame cannot be
# trusted; its drawing is in hundredths of a millimetre on a 96-dpi device, clipped at first to that frame.
# The page is found as the page-sized background that document-to-emf.sh paints behind each page; the window
# origin is moved onto its corner when the content was shifted, the first clip becomes the page, and the
# header gets the page's frame and bounds and an exact 96-dpi reference device. Shapes thinner than a pixel
# are made a pixel thick (emf_thin_shapes.py). Its fonts get the names of the installed families
# (emf_font_families.py), as Office's metafiles name them, the letters of a ligature advances of their own
# (emf_ligatures.py), and the text it carries for its words alone is clipped away (emf_carried_text.py). A
# page it cannot frame, or families it cannot read, end it with a line naming the page's file.
import struct
import sys

from emf_carried_text import hide_carried_text
from emf_font_families import InstalledFonts, name_installed_families
from emf_ligatures import split_ligatures
from emf_thin_shapes import thicken_thin_shapes
from emf_records import (Emf, EmfError, EMR_POLYGON, EMR_POLYGON16, EMR_SETMAPMODE, EMR_SETWINDOWEXTEX,
                         EMR_SETVIEWPORTEXTEX, EMR_SETWINDOWORGEX, EMR_SETVIEWPORTORGEX)

MM_ANISOTROPIC = 8
EMR_INTERSECTCLIPRECT = 30
# A 96-dpi reference device, whole pixels for whole millimetres: 1920 px in 508 mm.
REFERENCE_PIXELS, REFERENCE_MM = 1920, 508
UNITS_PER_POINT = 2540 / 72       # hundredths of a millimetre
PAGE_TOLERANCE = 50               # 0.5 mm between the page's size and its background's


def mapping(emf):
    """The records that set up the page mapping, by type; each may appear once only."""
    found = {}
    for index, (kind, record) in enumerate(emf.records):
        if kind in (EMR_SETMAPMODE, EMR_SETWINDOWEXTEX, EMR_SETVIEWPORTEXTEX, EMR_SETWINDOWORGEX,
                    EMR_SETVIEWPORTORGEX):
            if kind in found:
                raise EmfError('the mapping is set more than once (record type %d)' % kind)
            found[kind] = index
    return found


def polygon_box(kind, record):
    if kind == EMR_POLYGON:
        count, = struct.unpack_from('<I', record, 24)
        points = struct.unpack_from('<%di' % (2 * count), record, 28) if len(record) >= 28 + 8 * count else ()
    elif kind == EMR_POLYGON16:
        count, = struct.unpack_from('<I', record, 24)
        points = struct.unpack_from('<%dh' % (2 * count), record, 28) if len(record) >= 28 + 4 * count else ()
    else:
        return None
    if not points:
        return None
    xs, ys = points[0::2], points[1::2]
    return min(xs), min(ys), max(xs), max(ys)


def page_background(emf, width, height):
    """The background's box and the index of its record."""
    for index, (kind, record) in enumerate(emf.records):
        box = polygon_box(kind, record)
        if box and abs(box[2] - box[0] - width) <= PAGE_TOLERANCE and \
                abs(box[3] - box[1] - height) <= PAGE_TOLERANCE:
            return box, index
    raise EmfError('no page-sized background (%d x %d) in the drawing' % (width, height))


def fit_to_page(emf, width_pt, height_pt):
    width, height = round(width_pt * UNITS_PER_POINT), round(height_pt * UNITS_PER_POINT)
    found = mapping(emf)
    mode = struct.unpack_from('<I', emf.records[found[EMR_SETMAPMODE]][1], 8)[0] if EMR_SETMAPMODE in found else 1
    window = struct.unpack_from('<2i', emf.records[found[EMR_SETWINDOWEXTEX]][1], 8) if EMR_SETWINDOWEXTEX in found else (1, 1)
    viewport = struct.unpack_from('<2i', emf.records[found[EMR_SETVIEWPORTEXTEX]][1], 8) if EMR_SETVIEWPORTEXTEX in found else (1, 1)
    if mode != MM_ANISOTROPIC or window[0] * 96 != viewport[0] * 2540 or window[1] * 96 != viewport[1] * 2540:
        raise EmfError('drawing not in hundredths of a millimetre on a 96-dpi device (mode %d, window %s, '
                       'viewport %s)' % (mode, window, viewport))
    if EMR_SETWINDOWORGEX not in found or EMR_SETVIEWPORTORGEX in found and \
            struct.unpack_from('<2i', emf.records[found[EMR_SETVIEWPORTORGEX]][1], 8) != (0, 0):
        raise EmfError('no window origin to place the page with')
    (left, top, _, _), background = page_background(emf, width, height)
    index = found[EMR_SETWINDOWORGEX]
    emf.records[index] = (EMR_SETWINDOWORGEX, emf.records[index][1][:8] + struct.pack('<2i', left, top))
    clips = [i for i, (kind, _) in enumerate(emf.records[:background]) if kind == EMR_INTERSECTCLIPRECT]
    if clips:
        emf.records[clips[0]] = (EMR_INTERSECTCLIPRECT, emf.records[clips[0]][1][:8] +
                                 struct.pack('<4i', left, top, left + width, top + height))
    pixels = (round(width * 96 / 2540), round(height * 96 / 2540))
    emf.set_header(bounds=(0, 0, pixels[0] - 1, pixels[1] - 1), frame=(0, 0, width, height),
                   device=(REFERENCE_PIXELS, REFERENCE_PIXELS), millimeters=(REFERENCE_MM, REFERENCE_MM))


if __name__ == '__main__':
    path, width_pt, height_pt, families = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
    try:
        emf = Emf.read(path)
        fit_to_page(emf, width_pt, height_pt)
        hide_carried_text(emf)
        thicken_thin_shapes(emf)
        with open(families, encoding='utf-8') as listing:
            fonts = InstalledFonts(listing.read())
        name_installed_families(emf, fonts)
        split_ligatures(emf, fonts)
        emf.write(path)
    except (EmfError, OSError, UnicodeError) as error:
        sys.exit('%s: %s' % (path, error))

# Text that a page metafile carries for its words alone: words the page does not show as text (invisible
# text, text that a picture of the page draws instead), which the DjVu text layer still needs. The PDF
# import draws all text, so pdf_flatten.py has such text drawn in a colour of its own, CARRIED_TEXT_RGB;
# hide_carried_text() then clips each text record drawn in it to an empty rectangle (ETO_CLIPPED), into
# which no player draws, while the add-in's text capture reads the record's words and places them as ever,
# whatever clips it.
import struct

from emf_records import EMR_EXTTEXTOUTW

CARRIED_TEXT_RGB = (1, 254, 2)     # a text colour no document is expected to draw in
EMR_EXTTEXTOUTA = 83
EMR_SETTEXTCOLOR = 24
EMR_SAVEDC = 33
EMR_RESTOREDC = 34
ETO_CLIPPED = 4
EMRTEXT_OPTIONS = 52               # offsets in EMR_EXTTEXTOUTA/W: the options, then the clipping rectangle
EMRTEXT_RECT = 56


def carried_colour():
    """CARRIED_TEXT_RGB as a COLORREF."""
    red, green, blue = CARRIED_TEXT_RGB
    return red | green << 8 | blue << 16


def hide_carried_text(emf):
    """Clips every text record of EMF drawn in the carried colour to an empty rectangle; returns how many.
    The text colour is followed through saved and restored states."""
    colour, saved, hidden = 0, [], 0
    for index, (kind, record) in enumerate(emf.records):
        if kind == EMR_SETTEXTCOLOR and len(record) >= 12:
            colour, = struct.unpack_from('<I', record, 8)
        elif kind == EMR_SAVEDC:
            saved.append(colour)
        elif kind == EMR_RESTOREDC and len(record) >= 12:
            level, = struct.unpack_from('<i', record, 8)
            # Negative: that many states back; positive: the state saved as that one (the first is 1).
            back = -level if level < 0 else len(saved) - level + 1
            if 0 < back <= len(saved):
                colour = saved[-back]
                del saved[-back:]
        elif kind in (EMR_EXTTEXTOUTA, EMR_EXTTEXTOUTW) and colour == carried_colour() and \
                len(record) >= EMRTEXT_RECT + 16:
            options, = struct.unpack_from('<I', record, EMRTEXT_OPTIONS)
            emf.records[index] = (kind, record[:EMRTEXT_OPTIONS] + struct.pack('<I4i', options | ETO_CLIPPED,
                                                                               0, 0, 0, 0) +
                                  record[EMRTEXT_RECT + 16:])
            hidden += 1
    return hidden

# Marks a link in page metafiles as Office does: a "UNPP" comment record of sub-type 0x201 (two points of
# the link's rectangle in the drawing's own coordinates, then the target URL as NUL-ended UTF-16), right
# after the text record that draws the link's text. LibreOffice writes no such comment.
#   /usr/bin/python3 emf_add_link.py TEXT URL PAGE.emf...
# TEXT must be drawn by exactly one text record of the pages given (as the whole run or part of it),
# left-aligned on its baseline; the rectangle spans its advances across, and from the font's em height
# above the baseline to a quarter of it below.
import struct
import sys

from emf_records import (Emf, EmfError, comment_record, EMR_GDICOMMENT, EMR_EXTCREATEFONTINDIRECTW, EMR_SELECTOBJECT,
                         EMR_SETTEXTALIGN, EMR_EXTTEXTOUTW, EMR_SETWORLDTRANSFORM, EMR_MODIFYWORLDTRANSFORM)

UNPP = b'UNPP'
LINK_TO_URL = 0x201
TA_BASELINE_LEFT = 24


def text_runs(emf):
    """(index, reference x, y, text, advances, em height, alignment) of each EXTTEXTOUTW record."""
    fonts, em, align = {}, None, 0
    for index, (kind, record) in enumerate(emf.records):
        if kind in (EMR_SETWORLDTRANSFORM, EMR_MODIFYWORLDTRANSFORM):
            raise EmfError('world transforms are not followed')
        if kind == EMR_EXTCREATEFONTINDIRECTW:
            handle, height = struct.unpack_from('<Ii', record, 8)
            fonts[handle] = abs(height)
        elif kind == EMR_SELECTOBJECT:
            handle, = struct.unpack_from('<I', record, 8)
            em = fonts.get(handle, em)
        elif kind == EMR_SETTEXTALIGN:
            align, = struct.unpack_from('<I', record, 8)
        elif kind == EMR_EXTTEXTOUTW:
            x, y, count, text_at, _ = struct.unpack_from('<iiIII', record, 36)
            advances_at, = struct.unpack_from('<I', record, 72)
            if text_at + 2 * count > len(record) or advances_at + 4 * count > len(record):
                raise EmfError('text record %d does not hold its text' % index)
            text = record[text_at:text_at + 2 * count].decode('utf-16-le')
            advances = struct.unpack_from('<%di' % count, record, advances_at) if advances_at else None
            yield index, x, y, text, advances, em, align


def link_comment(left, top, right, bottom, url):
    return comment_record(UNPP + struct.pack('<I4i', LINK_TO_URL, left, top, right, bottom) +
                          (url + '\0').encode('utf-16-le'))


def add_link(paths, text, url):
    pages = [(path, Emf.read(path)) for path in paths]
    found = [(path, emf, run) for path, emf in pages for run in text_runs(emf) if text in run[3]]
    if len(found) != 1:
        raise EmfError('"%s" is drawn by %d text records, not by one' % (text, len(found)))
    path, emf, (index, x, y, drawn, advances, em, align) = found[0]
    if advances is None or em is None or align != TA_BASELINE_LEFT:
        raise EmfError('"%s" is not drawn left-aligned on its baseline with advances and a font' % text)
    start = drawn.index(text)
    left = x + sum(advances[:start])
    right = left + sum(advances[start:start + len(text)])
    emf.records.insert(index + 1, (EMR_GDICOMMENT, link_comment(left, y - em, right, y + em // 4, url)))
    emf.write(path)
    return path, (left, y - em, right, y + em // 4)


if __name__ == '__main__':
    try:
        page, rect = add_link(sys.argv[3:], sys.argv[1], sys.argv[2])
    except EmfError as error:
        sys.exit('emf_add_link: %s' % error)
    print('%s: link to %s at %d,%d - %d,%d' % ((page, sys.argv[2]) + rect))

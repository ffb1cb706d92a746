# Marks links in page metafiles as Office does, in "UNPP" comment records, which LibreOffice does not write.
#   /usr/bin/python3 emf_add_link.py TEXT URL PAGE.emf...
# Sub-type 0x201 (two points of the link's rectangle in the drawing's own coordinates, then the target URL as
# NUL-ended UTF-16), right after the text record that draws the link's text. TEXT must be drawn by exactly
# one text record of the pages given (as the whole run or part of it), left-aligned on its baseline; the
# rectangle spans its advances across, and from the font's em height above the baseline to a quarter of it
# below.
#   /usr/bin/python3 emf_add_link.py --pdf DOCUMENT.pdf LIST
# The link annotations of DOCUMENT.pdf's pages, URI links and links to its own pages, into the metafiles of
# those pages, whose names LIST holds in page order, each ended by a NUL: sub-types 0x210 (a URL) and 0x211
# (a page's index from 0), the rectangle as it is on the page as shown (its visible box, turned as the page
# is) in points from the top left corner, x, y, width and height as 32-bit floats. They come first, where
# the drawing's units are still those of the reference device, by which the add-in reads points. A link
# whose target cannot be read or is none of the document's pages, or that is hidden, is left out; a PDF that
# cannot be read, or pages that are not its, end it with a line.
import struct
import sys

import pikepdf

from emf_records import (Emf, EmfError, comment_record, EMR_GDICOMMENT, EMR_EXTCREATEFONTINDIRECTW, EMR_SELECTOBJECT,
                         EMR_SETTEXTALIGN, EMR_EXTTEXTOUTW, EMR_SETWORLDTRANSFORM, EMR_MODIFYWORLDTRANSFORM)
from pdf_import_pages import sorted_box, visible_box

UNPP = b'UNPP'
LINK_TO_URL = 0x201
LINK_TO_URL_IN_POINTS = 0x210
LINK_TO_PAGE_IN_POINTS = 0x211
ANNOTATION_HIDDEN = 2
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


def inherited(page, key, default):
    """The value of KEY of a page dictionary, or of the nearest of its parents that has one."""
    node, seen = page, set()
    while isinstance(node, pikepdf.Dictionary) and node.objgen not in seen:
        if key in node:
            return node[key]
        seen.add(node.objgen)
        node = node.get('/Parent')
    return default


def shown_box(page, rect):
    """RECT (the annotation's, in the page's default user space) as x, y, width, height in points from the
    top left corner of the page as a viewer shows it: its visible box, turned clockwise by its /Rotate."""
    left, bottom, right, top = visible_box(page)
    turn = int(inherited(page.obj, '/Rotate', 0)) % 360 // 90 * 90
    x0, y0, x1, y1 = sorted_box(rect)
    corners = []
    for x, y in ((x0, y0), (x1, y1)):
        corners.append({0: (x - left, top - y), 90: (y - bottom, x - left), 180: (right - x, y - bottom),
                        270: (top - y, right - x)}[turn])
    (ax, ay), (bx, by) = corners
    return min(ax, bx), min(ay, by), abs(bx - ax), abs(by - ay)


def destination_page(pdf, destination, numbers):
    """The index of the page an explicit or named destination shows, or None."""
    if isinstance(destination, (pikepdf.Name, pikepdf.String)):
        destination = named_destination(pdf, destination)
    # A named destination may be a dictionary that holds the array in /D.
    if isinstance(destination, pikepdf.Dictionary):
        destination = destination.get('/D')
    if not isinstance(destination, pikepdf.Array) or not len(destination):
        return None
    page = destination[0]
    if isinstance(page, pikepdf.Dictionary):
        return numbers.get(page.objgen)
    return None


def named_destination(pdf, name):
    if isinstance(name, pikepdf.Name):
        dests = pdf.Root.get('/Dests')
        return dests.get(name) if isinstance(dests, pikepdf.Dictionary) else None
    names = pdf.Root.get('/Names')
    tree = names.get('/Dests') if isinstance(names, pikepdf.Dictionary) else None
    if not isinstance(tree, pikepdf.Dictionary):
        return None
    key = bytes(name)
    try:
        key = key.decode('utf-16') if key.startswith((b'\xfe\xff', b'\xff\xfe')) else key.decode('latin-1')
        tree = pikepdf.NameTree(tree)
        return tree[key] if key in tree else None
    except (KeyError, ValueError, UnicodeError):
        return None


def link_target(pdf, annotation, numbers):
    """(sub-type, target's bytes) of a link annotation, or None."""
    action = annotation.get('/A')
    if isinstance(action, pikepdf.Dictionary) and action.get('/S') == pikepdf.Name.URI:
        uri = bytes(action.get('/URI', b''))
        if not uri:
            return None
        # Seven-bit ASCII as written, UTF-8 as many writers put other characters; bytes that are neither, as
        # Latin-1.
        try:
            text = uri.decode('utf-8')
        except UnicodeError:
            text = uri.decode('latin-1')
        return LINK_TO_URL_IN_POINTS, (text + '\0').encode('utf-16-le')
    if isinstance(action, pikepdf.Dictionary):
        destination = action.get('/D') if action.get('/S') == pikepdf.Name.GoTo else None
    else:
        destination = annotation.get('/Dest')
    index = destination_page(pdf, destination, numbers)
    return None if index is None else (LINK_TO_PAGE_IN_POINTS, struct.pack('<I', index))


def pdf_links(pdf):
    """For each page of PDF, the comment records of its links."""
    numbers = {page.obj.objgen: index for index, page in enumerate(pdf.pages)}
    for page in pdf.pages:
        comments = []
        annotations = page.obj.get('/Annots')
        for annotation in annotations if isinstance(annotations, pikepdf.Array) else ():
            # Whatever a damaged annotation holds, it is left out alone.
            try:
                if (not isinstance(annotation, pikepdf.Dictionary) or annotation.get('/Subtype') != pikepdf.Name.Link
                        or int(annotation.get('/F', 0)) & ANNOTATION_HIDDEN):
                    continue
                target = link_target(pdf, annotation, numbers)
                if target:
                    box = shown_box(page, annotation.Rect)
                    comments.append(comment_record(UNPP + struct.pack('<I4f', target[0], *box) + target[1]))
            except (AttributeError, KeyError, TypeError, ValueError, OverflowError, struct.error, pikepdf.PdfError):
                continue
        yield comments


def add_pdf_links(pdf_path, list_path):
    with open(list_path, 'rb') as listing:
        paths = listing.read().split(b'\0')[:-1]
    with pikepdf.open(pdf_path) as pdf:
        if len(paths) != len(pdf.pages):
            raise EmfError('%d page metafiles for the %d pages of the PDF' % (len(paths), len(pdf.pages)))
        for path, comments in zip(paths, pdf_links(pdf)):
            if comments:
                emf = Emf.read(path)
                emf.records[1:1] = [(EMR_GDICOMMENT, comment) for comment in comments]
                emf.write(path)


if __name__ == '__main__':
    if sys.argv[1:2] == ['--pdf'] and len(sys.argv) == 4:
        try:
            add_pdf_links(sys.argv[2], sys.argv[3])
        except (EmfError, OSError, pikepdf.PdfError) as error:
            sys.exit('emf_add_link: %s' % error)
        sys.exit()
    try:
        page, rect = add_link(sys.argv[3:], sys.argv[1], sys.argv[2])
    except EmfError as error:
        sys.exit('emf_add_link: %s' % error)
    print('%s: link to %s at %d,%d - %d,%d' % ((page, sys.argv[2]) + rect))

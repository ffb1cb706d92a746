# Gives the TrueType fonts embedded in a PDF written by Ghostscript the weight and slant their own head
# table states. Ghostscript writes each embedded TrueType font with an OS/2 table of its making, weight 400
# and no style bits, even for a bold face; LibreOffice's PDF import takes the weight from that table, so a
# bold run comes out as a regular one. Each font whose OS/2 table disagrees with its head table's style
# (macStyle) gets the weight and style bits of that style, written as an incremental update of the file.
#   pdf_font_styles.py FILE.pdf...   (changed in place; prints nothing, a warning for each file that cannot be read)
import re
import struct
import sys
import zlib

MAC_BOLD, MAC_ITALIC = 1, 2
FS_ITALIC, FS_BOLD, FS_REGULAR = 0x01, 0x20, 0x40
BOLD_WEIGHT = 700
SEMIBOLD_WEIGHT = 600


class PdfError(Exception):
    pass


def last_startxref(data):
    """The offset of the newest xref table, as the file's end names it."""
    found = re.findall(rb'startxref\s+(\d+)', data[-1024:])
    if not found:
        raise PdfError('no startxref')
    return int(found[-1])


def read_xref(data):
    """Object number -> offset of the newest version, from the xref tables (not streams) back along /Prev."""
    at, offsets, trailer, seen = last_startxref(data), {}, None, set()
    while at is not None:
        if at in seen:
            raise PdfError('the xref tables refer back to %d' % at)
        seen.add(at)
        table = re.compile(rb'xref\s*').match(data, at)
        if not table:
            raise PdfError('no xref table at %d (a cross-reference stream?)' % at)
        at = table.end()
        while True:
            section = re.compile(rb'(\d+) (\d+)\s*?\r?\n').match(data, at)
            if not section:
                break
            first, count = int(section.group(1)), int(section.group(2))
            at = section.end()
            for number in range(first, first + count):
                entry = data[at:at + 20].split()
                if len(entry) < 3:
                    raise PdfError('short xref entry for object %d' % number)
                if entry[2] == b'n':
                    offsets.setdefault(number, int(entry[0]))
                at += 20
        dictionary = re.compile(rb'\s*trailer\s*(<<.*?>>)\s*startxref', re.S).match(data, at)
        if not dictionary:
            raise PdfError('no trailer after the xref table')
        trailer = trailer or dictionary.group(1)
        previous = re.search(rb'/Prev\s+(\d+)', dictionary.group(1))
        at = int(previous.group(1)) if previous else None
    return offsets, trailer


def object_at(data, offsets, number):
    """(dictionary text, stream bytes or None) of object NUMBER."""
    if number not in offsets:
        raise PdfError('object %d is not in the xref' % number)
    head = re.compile(rb'%d\s+\d+\s+obj\s*' % number).match(data, offsets[number])
    if not head:
        raise PdfError('object %d is not where the xref says' % number)
    body = re.compile(rb'(.*?)(stream\r?\n|endobj)', re.S).match(data, head.end())
    if not body:
        raise PdfError('object %d has no end' % number)
    if body.group(2) == b'endobj':
        return body.group(1), None
    dictionary = body.group(1)
    length = re.search(rb'/Length\s+(\d+)(\s+\d+\s+R)?', dictionary)
    if not length:
        raise PdfError('stream %d has no length' % number)
    size = int(length.group(1))
    if length.group(2):
        size = int(object_at(data, offsets, size)[0].split()[0])
    return dictionary, data[body.end():body.end() + size]


def table_checksum(table):
    padded = table + b'\0' * (-len(table) % 4)
    return sum(struct.unpack('>%dI' % (len(padded) // 4), padded)) & 0xFFFFFFFF


def restyle(font):
    """FONT (TrueType bytes) with its OS/2 weight and style bits made to agree with macStyle; None when they
    already do or the font has no such tables."""
    if len(font) < 12:
        return None
    count = struct.unpack_from('>H', font, 4)[0]
    tables = {}
    for i in range(count):
        if 12 + 16 * (i + 1) > len(font):
            return None
        tag, _, offset, length = struct.unpack_from('>4sIII', font, 12 + 16 * i)
        if offset + length > len(font):
            return None
        tables[tag] = (i, offset, length)
    if b'head' not in tables or b'OS/2' not in tables or tables[b'head'][2] < 54 or tables[b'OS/2'][2] < 64:
        return None
    _, head, _ = tables[b'head']
    index, os2, os2_length = tables[b'OS/2']
    style = struct.unpack_from('>H', font, head + 44)[0]
    weight = struct.unpack_from('>H', font, os2 + 4)[0]
    selection = struct.unpack_from('>H', font, os2 + 62)[0]
    new_weight, new_selection = weight, selection
    if style & MAC_BOLD:
        if weight < SEMIBOLD_WEIGHT:
            new_weight = BOLD_WEIGHT
        new_selection |= FS_BOLD
    if style & MAC_ITALIC:
        new_selection |= FS_ITALIC
    if style & (MAC_BOLD | MAC_ITALIC):
        new_selection &= ~FS_REGULAR
    if (new_weight, new_selection) == (weight, selection):
        return None
    font = bytearray(font)
    struct.pack_into('>H', font, os2 + 4, new_weight)
    struct.pack_into('>H', font, os2 + 62, new_selection)
    struct.pack_into('>I', font, 12 + 16 * index + 4, table_checksum(bytes(font[os2:os2 + os2_length])))
    struct.pack_into('>I', font, head + 8, 0)
    struct.pack_into('>I', font, head + 8, (0xB1B0AFBA - table_checksum(bytes(font))) & 0xFFFFFFFF)
    return bytes(font)


def restyled_objects(data):
    """(object number, new object bytes without its offset) for each embedded TrueType font to change."""
    offsets, trailer = read_xref(data)
    files = set()
    for number in offsets:
        dictionary, _ = object_at(data, offsets, number)
        files.update(int(n) for n in re.findall(rb'/FontFile2\s+(\d+)\s+0\s+R', dictionary))
    changed = []
    for number in sorted(files):
        dictionary, stream = object_at(data, offsets, number)
        filters = re.findall(rb'/Filter\s*(\[[^\]]*\]|/\w+)', dictionary)
        if stream is None or (filters and filters[0].strip(b'[] ') != b'/FlateDecode'):
            continue
        font = restyle(zlib.decompress(stream) if filters else stream)
        if font is None:
            continue
        packed = zlib.compress(font)
        changed.append((number, b'%d 0 obj\n<</Length %d/Length1 %d/Filter/FlateDecode>>stream\n' %
                        (number, len(packed), len(font)) + packed + b'\nendstream\nendobj\n'))
    return changed, trailer


def update(data):
    """DATA with the restyled fonts appended as an incremental update; DATA itself when none changes.
    Raises PdfError when DATA cannot be read so far."""
    try:
        changed, trailer = restyled_objects(data)
    except (zlib.error, struct.error, ValueError, IndexError, RecursionError) as problem:
        raise PdfError(str(problem))
    if not changed:
        return data
    previous = last_startxref(data)
    tail = bytearray(b'' if data.endswith(b'\n') else b'\n')
    table = b'xref\n'
    for number, body in changed:
        table += b'%d 1\n%010d 00000 n \n' % (number, len(data) + len(tail))
        tail += body
    start = len(data) + len(tail)
    keys = b''.join(m.group(0) for m in re.finditer(rb'/(Size|Root|Info)\s+\d+(\s+\d+\s+R)?|/ID\s*\[[^\]]*\]',
                                                     trailer))
    tail += table + b'trailer\n<<' + keys + b'/Prev %d>>\nstartxref\n%d\n%%%%EOF\n' % (previous, start)
    return data + bytes(tail)


if __name__ == '__main__':
    for path in sys.argv[1:]:
        with open(path, 'rb') as f:
            original = f.read()
        try:
            result = update(original)
        except PdfError as problem:
            sys.stderr.write('%s: %s: the fonts keep the styles Ghostscript gave them (%s)\n'
                             % (sys.argv[0], path, problem))
            continue
        if result is not original:
            with open(path, 'wb') as f:
                f.write(result)

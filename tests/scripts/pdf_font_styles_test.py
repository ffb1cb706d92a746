# scripts/pdf_font_styles.py on PDFs made here as Ghostscript writes them (an xref table, the font file's
# length in an object of its own, an OS/2 table of weight 400 without style bits): a bold, an italic and a
# bold italic font get the weight and style bits of their head table, with true checksums, as an update
# poppler's pdfinfo reads; a regular font, a font already right, one without OS/2 table and one cut short
# leave the file as it is. Damaged files (a table of them and random changes of a good one) are refused with PdfError,
# never another exception.
#   pdf_font_styles_test.py
import os
import random
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
import pdf_font_styles  # noqa: E402
from pdf_font_styles import PdfError, table_checksum, update  # noqa: E402

failed = False


def fail(message):
    global failed
    failed = True
    print('FAIL: %s' % message)


def font(mac_style, weight=400, selection=0, with_os2=True):
    """A TrueType file of a head table (macStyle MAC_STYLE) and an OS/2 table, as Ghostscript writes them."""
    tables = {b'head': bytearray(54)}
    struct.pack_into('>I', tables[b'head'], 12, 0x5F0F3CF5)
    struct.pack_into('>H', tables[b'head'], 44, mac_style)
    if with_os2:
        tables[b'OS/2'] = bytearray(96)
        struct.pack_into('>H', tables[b'OS/2'], 4, weight)
        struct.pack_into('>H', tables[b'OS/2'], 62, selection)
    tags = sorted(tables)
    data = bytearray(struct.pack('>IHHHH', 0x10000, len(tags), 0, 0, 0))
    offset = 12 + 16 * len(tags)
    for tag in tags:
        data += struct.pack('>4sIII', tag, table_checksum(bytes(tables[tag])), offset, len(tables[tag]))
        offset += len(tables[tag]) + (-len(tables[tag]) % 4)
    for tag in tags:
        data += tables[tag] + b'\0' * (-len(tables[tag]) % 4)
    return bytes(data)


def pdf(fonts):
    """A one-page PDF whose font descriptors hold FONTS (TrueType bytes) as FontFile2 streams."""
    objects = [b'<</Type/Catalog/Pages 2 0 R>>', b'<</Type/Pages/Kids[3 0 R]/Count 1>>',
               b'<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]>>']
    for data in fonts:
        packed = zlib.compress(data)
        first = len(objects) + 1
        objects += [b'<</Type/FontDescriptor/FontName/F%d/Flags 4/FontFile2 %d 0 R>>' % (first, first + 1),
                    b'<</Length %d 0 R/Length1 %d/Filter /FlateDecode>>stream\n' % (first + 2, len(data)) + packed +
                    b'\nendstream', b'%d' % len(packed)]
    out = bytearray(b'%PDF-1.7\n')
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b'%d 0 obj\n' % number + body + b'\nendobj\n'
    start = len(out)
    out += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    out += b''.join(b'%010d 00000 n \n' % offset for offset in offsets)
    out += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objects) + 1, start)
    return bytes(out)


def styles(data):
    """[(weight, fsSelection, checksums true)] of the newest version of each embedded font."""
    offsets, _ = pdf_font_styles.read_xref(data)
    found = []
    for number in sorted(offsets):
        dictionary, stream = pdf_font_styles.object_at(data, offsets, number)
        if stream is None or b'/Length1' not in dictionary:
            continue
        file = zlib.decompress(stream)
        tables = {}
        for i in range(struct.unpack_from('>H', file, 4)[0]):
            tag, checksum, offset, length = struct.unpack_from('>4sIII', file, 12 + 16 * i)
            tables[tag] = (checksum, offset, length)
        checksum, os2, length = tables[b'OS/2']
        sound = checksum == table_checksum(file[os2:os2 + length]) and table_checksum(file) == 0xB1B0AFBA
        found.append((struct.unpack_from('>H', file, os2 + 4)[0], struct.unpack_from('>H', file, os2 + 62)[0], sound))
    return found


def poppler_reads(data):
    with tempfile.NamedTemporaryFile(suffix='.pdf') as f:
        f.write(data)
        f.flush()
        return subprocess.run(['pdfinfo', f.name], capture_output=True).returncode == 0


# Styles the head table states, the OS/2 table as Ghostscript writes it: (macStyle, weight, fsSelection)
# before, (weight, fsSelection) after.
cases = [(1, 400, 0, 700, 0x20), (2, 400, 0, 400, 0x01), (3, 400, 0x40, 700, 0x21), (1, 600, 0, 600, 0x20)]
original = pdf([font(style, weight, selection) for style, weight, selection, _, _ in cases])
updated = update(original)
if not updated.startswith(original):
    fail('the update does not keep the file before it')
got = styles(updated)
for (style, weight, selection, want_weight, want_selection), (new_weight, new_selection, sound) in zip(cases, got):
    if (new_weight, new_selection, sound) != (want_weight, want_selection, True):
        fail('macStyle %d with weight %d, fsSelection %#x: now %d, %#x, checksums %s; expected %d, %#x'
             % (style, weight, selection, new_weight, new_selection, sound, want_weight, want_selection))
if not poppler_reads(updated):
    fail('pdfinfo cannot read the updated file')
if update(updated) is not updated:
    fail('a second pass changed the file again')

# Nothing to change: a regular font, a bold font already right, a font without OS/2 table, a font whose
# tables lie past its end.
for fonts, what in (([font(0)], 'regular'), ([font(1, 700, 0x20)], 'bold already'),
                    ([font(1, with_os2=False)], 'no OS/2'), ([font(1)[:60]], 'tables past the end')):
    data = pdf(fonts)
    if update(data) is not data:
        fail('%s: the file changed' % what)

# Damaged files: refused with PdfError.
good = pdf([font(1)])
start = good.rindex(b'startxref')
packed = zlib.compress(font(1))
first_entry = b'%010d 00000 n' % good.index(b'1 0 obj')
damaged = {
    'empty': b'',
    'cut in the font stream': good[:good.index(packed) + 10],
    'no startxref': good[:start],
    'startxref past the end': good[:start] + b'startxref\n999999\n%%EOF\n',
    'startxref at no xref': good[:start] + b'startxref\n9\n%%EOF\n',
    'an object not where the xref says': good.replace(first_entry, b'0000000003 00000 n'),
    'font stream not deflated': good.replace(packed, b'x' * len(packed)),
    'font length object empty': good.replace(b'obj\n%d\nendobj' % len(packed), b'obj\n\nendobj'),
    'font length past the end': good.replace(b'obj\n%d\nendobj' % len(packed), b'obj\n99999999\nendobj'),
    'xref chain that comes back': good.replace(b'/Root 1 0 R >>', b'/Root 1 0 R /Prev %d >>' % good.index(b'xref\n')),
}
for what, data in damaged.items():
    try:
        update(data)
        fail('%s: no PdfError' % what)
    except PdfError:
        pass
    except Exception as problem:  # noqa: BLE001
        fail('%s: %s: %s' % (what, type(problem).__name__, problem))

# Random changes of a good file: a result or PdfError, nothing else.
generator = random.Random(29)
for round_ in range(300):
    data = bytearray(good)
    for _ in range(generator.randint(1, 8)):
        data[generator.randrange(len(data))] = generator.randrange(256)
    try:
        update(bytes(data))
    except PdfError:
        pass
    except Exception as problem:  # noqa: BLE001
        fail('random change %d: %s: %s' % (round_, type(problem).__name__, problem))
        break

sys.exit(1 if failed else 0)

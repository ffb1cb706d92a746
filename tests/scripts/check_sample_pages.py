# The sample report's page metafiles (samples/report/pages) read whole with true header counts, are framed
# as A4 pages, and hold one link comment as the capture reads it: "UNPP", sub-type 0x201, a rectangle over
# the link's text record just before it, and the report's URL as NUL-ended UTF-16 inside the comment.
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.join(here, '..', '..')
sys.path[:0] = [os.path.join(root, 'scripts'), os.path.join(root, 'samples', 'report')]
from emf_records import Emf, EMR_GDICOMMENT  # noqa: E402
from emf_add_link import text_runs  # noqa: E402
from make_report import LINK_TEXT, LINK_URL  # noqa: E402

A4_FRAME = (0, 0, 21001, 29700)
failed = []
pages_dir = os.path.join(root, 'samples', 'report', 'pages')
names = sorted(os.listdir(pages_dir))
if names != ['page-%04d.emf' % n for n in range(1, 4)]:
    failed.append('sample pages are %s' % names)
links = []
for name in names:
    emf = Emf.read(os.path.join(pages_dir, name))
    if (emf.stated_bytes, emf.stated_records) != (len(emf.to_bytes()), len(emf.records)):
        failed.append('%s: header counts %d bytes, %d records' % (name, emf.stated_bytes, emf.stated_records))
    if emf.frame != A4_FRAME:
        failed.append('%s: frame %s' % (name, emf.frame))
    runs = {index: run for index, *run in text_runs(emf)}
    for index, (kind, record) in enumerate(emf.records):
        if kind == EMR_GDICOMMENT and record[12:16] == b'UNPP':
            links.append((name, index, record, runs.get(index - 1)))

if len(links) != 1:
    failed.append('%d link comments, not one' % len(links))
else:
    name, index, record, run = links[0]
    size, = struct.unpack_from('<I', record, 8)
    data = record[12:12 + size]
    sub_type, left, top, right, bottom = struct.unpack_from('<I4i', data, 4)
    url = data[24:].decode('utf-16-le')
    if name != 'page-0001.emf' or sub_type != 0x201 or url != LINK_URL + '\0' or len(record) != (12 + size + 3) // 4 * 4:
        failed.append('%s record %d: sub-type %#x, URL %r, data %d bytes in a record of %d' %
                      (name, index, sub_type, url, size, len(record)))
    if run is None or run[2] != LINK_TEXT:
        failed.append('link comment not right after the text record of "%s"' % LINK_TEXT)
    else:
        x, y, _, advances, em, _ = run
        if (left, right) != (x, x + sum(advances)) or not top < y - em // 2 < y < bottom:
            failed.append('link rectangle %s over text at %d,%d, %d wide, em %d' %
                          ((left, top, right, bottom), x, y, sum(advances), em))

for fault in failed:
    print('FAIL:', fault)
sys.exit(bool(failed))

# Checks page metafiles against the PDF they were made from: each header's frame is the page, its bounds
# the page on an exact 96-dpi reference device, its counts true; and each metafile played at 300 dpi
# (WORK/emf-N.pgm) has the page's size and puts its ink where pdftoppm does (WORK/ref-N.pgm): the ink's
# box in each quarter of the page within 2 pixels. Prints a line per page; exits non-zero on a mismatch.
#   check_page_metafiles.py DOCUMENT.pdf EMF_DIR WORK
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
from emf_records import Emf  # noqa: E402

TOLERANCE = 2
DARK = bytes(0x23 if v < 128 else 0x2E for v in range(256))  # dark pixels to '#', the rest to '.'


def page_sizes(pdf):
    info = subprocess.run(['pdfinfo', '-f', '1', '-l', '9999', pdf], check=True, capture_output=True,
                          text=True).stdout
    return [(float(w), float(h)) for w, h in re.findall(r'^Page +\d+ size: +([\d.]+) x ([\d.]+) pts', info, re.M)]


def read_pgm(path):
    data = open(path, 'rb').read()
    match = re.match(rb'P5\s+(\d+)\s+(\d+)\s+255\s', data)
    width, height = int(match.group(1)), int(match.group(2))
    return width, height, data[match.end():].translate(DARK)


def ink_box(image, left, top, right, bottom):
    width, _, pixels = image
    box = None
    for y in range(top, bottom):
        row = pixels[y * width + left:y * width + right]
        first = row.find(b'#')
        if first < 0:
            continue
        last = row.rfind(b'#')
        x0, x1 = left + first, left + last
        box = (x0, y, x1, y) if box is None else (min(box[0], x0), box[1], max(box[2], x1), y)
    return box


def quarter_boxes(image, width, height):
    """The ink's box in each quarter of a page of the given size (the smaller of the two renders)."""
    mid_x, mid_y = width // 2, height // 2
    return [ink_box(image, *quarter) for quarter in
            ((0, 0, mid_x, mid_y), (mid_x, 0, width, mid_y), (0, mid_y, mid_x, height), (mid_x, mid_y, width, height))]


def check_header(emf, width_pt, height_pt):
    faults = []
    frame = (0, 0, round(width_pt * 2540 / 72), round(height_pt * 2540 / 72))
    if emf.frame != frame:
        faults.append('frame %s, page %s' % (emf.frame, frame))
    bounds = (0, 0, round(frame[2] * 96 / 2540) - 1, round(frame[3] * 96 / 2540) - 1)
    if emf.bounds != bounds:
        faults.append('bounds %s, page %s' % (emf.bounds, bounds))
    (dx, dy), (mx, my) = emf.device, emf.millimeters
    if dx * 254 != mx * 960 or dy * 254 != my * 960:
        faults.append('reference device %s pixels in %s mm is not 96 dpi' % (emf.device, emf.millimeters))
    if emf.micrometers and emf.micrometers != (mx * 1000, my * 1000):
        faults.append('micrometres %s for %s mm' % (emf.micrometers, emf.millimeters))
    if (emf.stated_bytes, emf.stated_records) != (len(emf.to_bytes()), len(emf.records)):
        faults.append('header counts %d bytes, %d records; file has %d, %d' % (
            emf.stated_bytes, emf.stated_records, len(emf.to_bytes()), len(emf.records)))
    return faults


def main(pdf, emf_dir, work):
    sizes = page_sizes(pdf)
    names = sorted(n for n in os.listdir(emf_dir) if n.endswith('.emf'))
    if names != ['page-%04d.emf' % n for n in range(1, len(sizes) + 1)]:
        print('FAIL: %d pages in the PDF, metafiles %s' % (len(sizes), names))
        return 1
    failed = 0
    for number, (width_pt, height_pt) in enumerate(sizes, 1):
        faults = check_header(Emf.read(os.path.join(emf_dir, names[number - 1])), width_pt, height_pt)
        ours = read_pgm(os.path.join(work, 'emf-%d.pgm' % number))
        theirs = read_pgm(os.path.join(work, 'ref-%d.pgm' % number))
        if abs(ours[0] - theirs[0]) > 1 or abs(ours[1] - theirs[1]) > 1:
            faults.append('played %d x %d pixels, pdftoppm %d x %d' % (ours[0], ours[1], theirs[0], theirs[1]))
        width, height = min(ours[0], theirs[0]), min(ours[1], theirs[1])
        mine, reference = quarter_boxes(ours, width, height), quarter_boxes(theirs, width, height)
        for quarter, (a, b) in enumerate(zip(mine, reference)):
            if a is None or b is None:
                if a != b:
                    faults.append('quarter %d: ink %s, pdftoppm %s' % (quarter + 1, a, b))
            elif max(abs(p - q) for p, q in zip(a, b)) > TOLERANCE:
                faults.append('quarter %d: ink box %s, pdftoppm %s' % (quarter + 1, a, b))
        print('page %d (%.1f x %.1f pt): %s' % (number, width_pt, height_pt,
                                                '; '.join(faults) if faults else 'frame and ink at their place'))
        failed |= bool(faults)
    return failed


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))

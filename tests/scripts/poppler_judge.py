# Judges a page as the DjVu file draws it (ddjvu's render) against poppler's render of the PDF it came
# from, both at 300 dpi: the ink (dark pixels) that one has and the other lacks, and the cells of colour
# that differ. A lossy DjVu page is never the same pixels, so ink counts as present where the other render
# has ink within a few pixels, and colours are compared in cells of a few pixels, averaged. Each line of
# the reference's ink (rows of ink between blank rows) is also compared for its width and its amount of ink,
# for a page whose text may run a little longer in a substitute face, but in the right face, on the page.
#   poppler_judge.py OURS.ppm REFERENCE.ppm [LEFT,TOP,RIGHT,BOTTOM in points]: prints the judgement
import sys

from PIL import Image, ImageChops, ImageFilter

DPI = 300
INK = 140           # grey level below which a pixel is ink
REACH = 2           # ink this far away (in pixels) still counts as present
CELL = 8           # colours are compared in cells of this many pixels a side
COLOUR = 48         # a cell whose channels differ by more than this differs


def _count(mask):
    """The set pixels of the one-band image MASK."""
    return mask.histogram()[255]


def _ink(image):
    return image.convert('L').point(lambda v: 255 if v < INK else 0)


def _lines(ink):
    """The rows (first, after last) of each line of the one-band image INK: rows with ink between blank rows."""
    rows = ink.resize((1, ink.height), Image.BOX).getdata()
    lines, first = [], None
    for row, value in enumerate(list(rows) + [0]):
        if value and first is None:
            first = row
        elif not value and first is not None:
            lines.append((first, row))
            first = None
    return lines


def _line_shares(our_ink, their_ink):
    """The worst share by which a line of OUR_INK differs in width from that line of THEIR_INK (rows of ink
    between blank rows, ours looked for a few rows further up and down), and the worst in its amount of ink."""
    width, ink = 0.0, 0.0
    for first, after in _lines(their_ink):
        theirs = their_ink.crop((0, first, their_ink.width, after))
        ours = our_ink.crop((0, max(0, first - REACH), our_ink.width, after + REACH))
        their_box, our_box = theirs.getbbox(), ours.getbbox()
        if not our_box:
            return 1.0, 1.0
        width = max(width, abs((our_box[2] - our_box[0]) - (their_box[2] - their_box[0])) /
                    (their_box[2] - their_box[0]))
        ink = max(ink, abs(_count(ours) - _count(theirs)) / _count(theirs))
    return width, ink


class Judgement:
    """What differs between two renders of one page: ink of the reference missing from ours, ink of ours
    that the reference lacks (both as counts and as shares of the reference's ink), and colour cells that
    differ (a count and a share of the cells compared)."""

    def __init__(self, ours, reference):
        width, height = min(ours.width, reference.width), min(ours.height, reference.height)
        ours, reference = ours.crop((0, 0, width, height)), reference.crop((0, 0, width, height))
        grow = ImageFilter.MaxFilter(2 * REACH + 1)
        our_ink, their_ink = _ink(ours), _ink(reference)
        self.reference_ink = _count(their_ink)
        self.missing = _count(ImageChops.subtract(their_ink, our_ink.filter(grow)))
        self.extra = _count(ImageChops.subtract(our_ink, their_ink.filter(grow)))
        self.line_width_share, self.line_ink_share = _line_shares(our_ink, their_ink)
        cells = (max(1, width // CELL), max(1, height // CELL))
        difference = ImageChops.difference(ours.convert('RGB').resize(cells, Image.BOX),
                                           reference.convert('RGB').resize(cells, Image.BOX))
        worst = ImageChops.lighter(ImageChops.lighter(*difference.split()[:2]), difference.split()[2])
        self.cells = cells[0] * cells[1]
        self.colour = _count(worst.point(lambda v: 255 if v > COLOUR else 0))

    @property
    def missing_share(self):
        return self.missing / max(1, self.reference_ink)

    @property
    def extra_share(self):
        return self.extra / max(1, self.reference_ink)

    @property
    def colour_share(self):
        return self.colour / self.cells

    def __str__(self):
        return ('ink %d px: %d missing (%.1f%%), %d extra (%.1f%%); colour cells differing: %d of %d (%.1f%%); '
                'lines differing in width by up to %.1f%%, in ink by up to %.1f%%' %
                (self.reference_ink, self.missing, 100 * self.missing_share, self.extra, 100 * self.extra_share,
                 self.colour, self.cells, 100 * self.colour_share, 100 * self.line_width_share,
                 100 * self.line_ink_share))


def region(image, box, page_height):
    """The part of IMAGE (a render at DPI of a page PAGE_HEIGHT points high) within BOX (left, bottom, right,
    top in PDF points)."""
    scale = DPI / 72
    left, bottom, right, top = box
    return image.crop((round(left * scale), round((page_height - top) * scale), round(right * scale),
                       round((page_height - bottom) * scale)))


def judge(ours, reference, box=None, page_height=None):
    """The judgement of OURS against REFERENCE (PIL images or file names), within BOX (points, as region()
    takes it) when given."""
    if isinstance(ours, str):
        ours = Image.open(ours)
    if isinstance(reference, str):
        reference = Image.open(reference)
    if box:
        ours, reference = region(ours, box, page_height), region(reference, box, page_height)
    return Judgement(ours, reference)


if __name__ == '__main__':
    box = tuple(float(v) for v in sys.argv[3].split(',')) if len(sys.argv) > 3 else None
    with Image.open(sys.argv[2]) as reference:
        height = reference.height * 72 / DPI
        print(judge(sys.argv[1], reference, box, height))

# The ink of each line of a rendered page: bands of rows with dark pixels, separated by blank rows. Prints
# "TOP BOTTOM DARK-PIXELS" a band, top to bottom.
#   line_ink.py PAGE.pgm
import sys

from check_page_metafiles import read_pgm


def line_ink(image):
    width, height, pixels = image
    bands, top, ink = [], None, 0
    for y in range(height + 1):
        dark = pixels.count(b'#', y * width, (y + 1) * width) if y < height else 0
        if dark and top is None:
            top, ink = y, 0
        if not dark and top is not None:
            bands.append((top, y, ink))
            top = None
        ink += dark
    return bands


if __name__ == '__main__':
    for band in line_ink(read_pgm(sys.argv[1])):
        print('%d %d %d' % band)

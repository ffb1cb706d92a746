# Sets the colours of two renders of one page side by side at given places: the mean colour of a 9-pixel
# square around each, in millimetres from the page's top left corner, must agree within TOLERANCE in each
# of red, green and blue. Prints a line a place; exits non-zero when one differs.
#   compare_colours.py OURS.ppm REFERENCE.ppm DPI TOLERANCE X_MM,Y_MM...
import sys

from PIL import Image

SIDE = 9


def mean_colour(image, x_mm, y_mm, dpi):
    x, y = round(x_mm * dpi / 25.4), round(y_mm * dpi / 25.4)
    pixels = [image.getpixel((x + dx, y + dy)) for dx in range(-(SIDE // 2), SIDE // 2 + 1)
              for dy in range(-(SIDE // 2), SIDE // 2 + 1)]
    return tuple(round(sum(p[c] for p in pixels) / len(pixels)) for c in range(3))


def main(ours, reference, dpi, tolerance, *places):
    dpi, tolerance = float(dpi), int(tolerance)
    failed = 0
    with Image.open(ours) as first, Image.open(reference) as second:
        first, second = first.convert('RGB'), second.convert('RGB')
        for place in places:
            x_mm, y_mm = (float(v) for v in place.split(','))
            got, want = mean_colour(first, x_mm, y_mm, dpi), mean_colour(second, x_mm, y_mm, dpi)
            bad = any(abs(g - w) > tolerance for g, w in zip(got, want))
            failed |= bad
            print('%s at %s mm: %s, reference %s' % ('FAIL' if bad else 'ok', place, got, want))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))

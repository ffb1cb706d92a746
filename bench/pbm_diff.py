# pbm_diff.py A.pbm B.pbm: prints the number of pixels that differ between two raw PBM images of one size
# and the number of black pixels of the first.
import sys


def read(path):
    data = open(path, 'rb').read()
    fields, at = [], 0
    while len(fields) < 3:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b'#':
            at = data.index(b'\n', at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b'P4':
        sys.exit('%s: not a raw PBM' % path)
    width, height = int(fields[1]), int(fields[2])
    row = (width + 7) // 8
    bits = data[at + 1:at + 1 + row * height]
    # Bits past the width carry no pixel: clear them.
    pad = (8 - width % 8) % 8
    mask = bytes([0xFF] * (row - 1) + [(0xFF << pad) & 0xFF]) * height
    return width, height, int.from_bytes(bits, 'big') & int.from_bytes(mask, 'big')


wa, ha, a = read(sys.argv[1])
wb, hb, b = read(sys.argv[2])
if (wa, ha) != (wb, hb):
    sys.exit('sizes differ')
print(bin(a ^ b).count('1'), bin(a).count('1'))

# scripts/emf_carried_text.py on a metafile made here: the text records drawn in the carried colour, also
# after a state saved and restored in between, are clipped to an empty rectangle; those drawn in another
# colour, also one set in a saved state, are left as they were.
#   emf_carried_text_test.py
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
from emf_carried_text import carried_colour, hide_carried_text  # noqa: E402
from emf_records import (EMR_EOF, EMR_EXTTEXTOUTW, EMR_HEADER, EMR_RESTOREDC, EMR_SAVEDC,  # noqa: E402
                         EMR_SETTEXTCOLOR, ENHMETA_SIGNATURE, Emf)

BLACK = 0


def record(kind, data=b''):
    return struct.pack('<II', kind, 8 + len(data)) + data


def text(words):
    """An EMR_EXTTEXTOUTW of WORDS, opaque (ETO_OPAQUE) over an empty rectangle, as LibreOffice writes them."""
    chars = words.encode('utf-16-le') + b'\0' * (len(words) % 2 * 2)
    return record(EMR_EXTTEXTOUTW, struct.pack('<4iIff', 0, 0, 0, 0, 1, 1, 1) +
                  struct.pack('<2iIII4iI', 10, 20, len(words), 76, 2, 0, 0, 0, 0, 0) + chars)


def metafile(*records):
    header = struct.pack('<4i4iIIIIHHIII2i2i', 0, 0, 0, 0, 0, 0, 0, 0, ENHMETA_SIGNATURE, 0x10000, 0, 0, 0, 0, 0, 0,
                         0, 1920, 1920, 508, 508)
    return Emf(record(EMR_HEADER, header) + b''.join(records) + record(EMR_EOF, struct.pack('<3I', 0, 16, 20)))


def colour(value):
    return record(EMR_SETTEXTCOLOR, struct.pack('<I', value))


def main():
    emf = metafile(colour(carried_colour()), text('Carried'),
                   record(EMR_SAVEDC), colour(BLACK), text('Shown'), record(EMR_RESTOREDC, struct.pack('<i', -1)),
                   text('Carried again'),
                   record(EMR_SAVEDC), record(EMR_SAVEDC), colour(BLACK), record(EMR_RESTOREDC, struct.pack('<i', 1)),
                   text('Carried after two'),
                   colour(BLACK), record(EMR_SAVEDC), colour(carried_colour()),
                   record(EMR_RESTOREDC, struct.pack('<i', -1)), text('Shown again'))
    hide_carried_text(emf)
    faults = []
    for _, data in (r for r in emf.records if r[0] == EMR_EXTTEXTOUTW):
        count, = struct.unpack_from('<I', data, 44)
        words = data[76:76 + 2 * count].decode('utf-16-le')
        options, = struct.unpack_from('<I', data, 52)
        clipped = bool(options & 4) and struct.unpack_from('<4i', data, 56) == (0, 0, 0, 0)
        if clipped != words.startswith('Carried'):
            faults.append('"%s" is %s' % (words, 'clipped' if clipped else 'drawn'))
    for fault in faults:
        print('FAIL: %s' % fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

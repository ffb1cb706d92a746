# An enhanced metafile (EMF) as its header and its list of records, read with every size checked and
# written back with the header's byte and record counts made true. Used by the page-metafile scripts
# (emf_page_frame.py, emf_add_link.py) and their tests; run alone it prints a file's header:
#   /usr/bin/python3 emf_records.py FILE.emf
import struct
import sys

EMR_HEADER = 1
EMR_EOF = 14
EMR_POLYGON = 3
EMR_POLYPOLYGON = 8
EMR_POLYGON16 = 86
EMR_POLYPOLYGON16 = 91
EMR_GDICOMMENT = 70
EMR_EXTCREATEFONTINDIRECTW = 82
EMR_SELECTOBJECT = 37
EMR_DELETEOBJECT = 40
EMR_SETTEXTALIGN = 22
EMR_EXTTEXTOUTA = 83
EMR_EXTTEXTOUTW = 84
EMR_SETTEXTCOLOR = 24
EMR_SAVEDC = 33
EMR_RESTOREDC = 34
EMR_SETWINDOWORGEX = 10
EMR_SETWINDOWEXTEX = 9
EMR_SETVIEWPORTORGEX = 12
EMR_SETVIEWPORTEXTEX = 11
EMR_SETMAPMODE = 17
EMR_SETWORLDTRANSFORM = 35
EMR_MODIFYWORLDTRANSFORM = 36

ENHMETA_SIGNATURE = 0x464D4520  # " EMF"
HEADER_BASE_SIZE = 88           # up to szlMillimeters
HEADER_MICROMETERS_SIZE = 108   # with the pixel-format fields and szlMicrometers


class EmfError(Exception):
    pass


class Emf:
    """Records as (type, bytes of the whole record); the header is records[0]."""

    def __init__(self, data):
        self.records = []
        at = 0
        while at < len(data):
            if len(data) - at < 8:
                raise EmfError('record at %d: fewer than 8 bytes left' % at)
            kind, size = struct.unpack_from('<II', data, at)
            if size < 8 or size % 4 or size > len(data) - at:
                raise EmfError('record at %d (type %d): size %d does not fit' % (at, kind, size))
            self.records.append((kind, data[at:at + size]))
            at += size
            if kind == EMR_EOF:
                break
        if at != len(data):
            raise EmfError('%d bytes after the end-of-file record' % (len(data) - at))
        if not self.records or self.records[0][0] != EMR_HEADER or len(self.records[0][1]) < HEADER_BASE_SIZE:
            raise EmfError('no header record')
        if struct.unpack_from('<I', self.records[0][1], 40)[0] != ENHMETA_SIGNATURE:
            raise EmfError('no EMF signature')
        if self.records[-1][0] != EMR_EOF:
            raise EmfError('no end-of-file record')
        self.stated_bytes, self.stated_records = struct.unpack_from('<II', self.records[0][1], 48)

    @classmethod
    def read(cls, path):
        with open(path, 'rb') as f:
            return cls(f.read())

    def _rect(self, offset):
        return struct.unpack_from('<4i', self.records[0][1], offset)

    def _size(self, offset):
        header = self.records[0][1]
        return struct.unpack_from('<2i', header, offset) if len(header) >= offset + 8 else None

    @property
    def bounds(self):        # device units of the reference device, inclusive
        return self._rect(8)

    @property
    def frame(self):         # hundredths of a millimetre
        return self._rect(24)

    @property
    def device(self):        # reference device in pixels
        return self._size(72)

    @property
    def millimeters(self):   # reference device in millimetres
        return self._size(80)

    @property
    def micrometers(self):   # reference device in micrometres; None in headers without the field
        return self._size(100)

    def set_header(self, bounds, frame, device, millimeters):
        header = bytearray(self.records[0][1])
        struct.pack_into('<4i', header, 8, *bounds)
        struct.pack_into('<4i', header, 24, *frame)
        struct.pack_into('<2i', header, 72, *device)
        struct.pack_into('<2i', header, 80, *millimeters)
        if len(header) >= HEADER_MICROMETERS_SIZE:
            struct.pack_into('<2i', header, 100, millimeters[0] * 1000, millimeters[1] * 1000)
        self.records[0] = (EMR_HEADER, bytes(header))

    def to_bytes(self):
        total = sum(len(r) for _, r in self.records)
        header = bytearray(self.records[0][1])
        struct.pack_into('<II', header, 48, total, len(self.records))
        return bytes(header) + b''.join(r for _, r in self.records[1:])

    def write(self, path):
        with open(path, 'wb') as f:
            f.write(self.to_bytes())


def logical_font(record):
    """(face name, height, weight, italic) of an EMR_EXTCREATEFONTINDIRECTW record's LOGFONTW."""
    if len(record) < 12 + 92:
        raise EmfError('font record of %d bytes' % len(record))
    height, _, _, _, weight = struct.unpack_from('<5i', record, 12)
    face = record[12 + 28:12 + 92].decode('utf-16-le', 'replace').split('\0')[0]
    return face, height, weight, record[12 + 20] != 0


def with_face_name(record, face, weight=None, italic=None):
    """An EMR_EXTCREATEFONTINDIRECTW record as RECORD with its LOGFONTW's face name FACE (31 characters at most),
    and its WEIGHT and ITALIC when given."""
    if len(record) < 12 + 92 or len(face) > 31:
        raise EmfError('font record of %d bytes, face name of %d characters' % (len(record), len(face)))
    record = bytearray(record[:12 + 28] + face.encode('utf-16-le').ljust(64, b'\0') + record[12 + 92:])
    if weight is not None:
        struct.pack_into('<i', record, 12 + 16, weight)
    if italic is not None:
        record[12 + 20] = int(italic)
    return bytes(record)


def comment_record(data):
    """An EMR_GDICOMMENT record carrying DATA, padded to a multiple of 4 bytes."""
    padded = data + b'\0' * (-len(data) % 4)
    return struct.pack('<III', EMR_GDICOMMENT, 12 + len(padded), len(data)) + padded


if __name__ == '__main__':
    emf = Emf.read(sys.argv[1])
    print('bounds %d %d %d %d' % emf.bounds)
    print('frame %d %d %d %d' % emf.frame)
    print('device %d %d' % emf.device)
    print('millimeters %d %d' % emf.millimeters)
    if emf.micrometers:
        print('micrometers %d %d' % emf.micrometers)
    print('records %d (header says %d), bytes %d (header says %d)' %
          (len(emf.records), emf.stated_records, len(emf.to_bytes()), emf.stated_bytes))

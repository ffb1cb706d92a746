# Gives each letter of a ligature in a page metafile's text records an advance of its own. LibreOffice lays
# the imported text out with the font's ligatures (fi, ffi, fl, ft...) and writes the letters of one with
# the ligature's whole advance on the first and none on the others; Windows' text drawing, which forms no
# ligatures, then draws those letters over each other ("f fty of  cial"). The ligature's advance is shared
# among its letters in the proportions of their own advances in the font the record names (PIL reads
# them), so that the letters fill the ligature's width as the PDF shows it.
import struct
import unicodedata

from PIL import ImageFont

from emf_records import EMR_DELETEOBJECT, EMR_EXTCREATEFONTINDIRECTW, EMR_EXTTEXTOUTW, EMR_SELECTOBJECT, logical_font

ETO_GLYPH_INDEX, ETO_PDY = 0x10, 0x2000
EM = 1000                  # the size at which the letters' advances are read


def drawn_alone(char):
    """Whether CHAR takes a place of its own in a line (not a combining mark or an invisible format character)."""
    return unicodedata.category(char)[0] != 'M' and unicodedata.category(char) != 'Cf'


class LetterAdvances:
    """Letters' advances in the installed fonts (emf_font_families.InstalledFonts), each font read once."""

    def __init__(self, fonts):
        self.fonts, self.read = fonts, {}

    def __call__(self, font, text):
        face, _, weight, italic = font
        path = self.fonts.file(face, weight, italic)
        if path not in self.read:
            try:
                self.read[path] = ImageFont.truetype(path, EM) if path else None
            except OSError:
                self.read[path] = None
        font = self.read[path]
        return [font.getlength(char) for char in text] if font else [1.0] * len(text)


def shared(total, weights):
    """TOTAL split in whole numbers in the proportions of WEIGHTS (equally when they are all nothing)."""
    if sum(weights) <= 0:
        weights = [1.0] * len(weights)
    parts, at, before = [], 0.0, 0
    for weight in weights:
        at += weight
        upto = round(total * at / sum(weights))
        parts.append(upto - before)
        before = upto
    return parts


def split_ligatures(emf, fonts):
    advances_of = LetterAdvances(fonts)
    created, font = {}, None
    for index, (kind, record) in enumerate(emf.records):
        # Records too short for the fields read below draw no text this step could mend.
        if len(record) < (76 if kind == EMR_EXTTEXTOUTW else 12):
            continue
        if kind == EMR_EXTCREATEFONTINDIRECTW:
            created[struct.unpack_from('<I', record, 8)[0]] = logical_font(record)
        elif kind == EMR_DELETEOBJECT:
            created.pop(struct.unpack_from('<I', record, 8)[0], None)
        elif kind == EMR_SELECTOBJECT:
            font = created.get(struct.unpack_from('<I', record, 8)[0], font)
        elif kind == EMR_EXTTEXTOUTW and font:
            count, text_at, options = struct.unpack_from('<III', record, 44)
            advances_at, = struct.unpack_from('<I', record, 72)
            if options & (ETO_GLYPH_INDEX | ETO_PDY) or not advances_at or not count or \
                    text_at + 2 * count > len(record) or advances_at + 4 * count > len(record):
                continue
            text = record[text_at:text_at + 2 * count].decode('utf-16-le', 'replace')
            advances = list(struct.unpack_from('<%di' % count, record, advances_at))
            changed, start = False, 0
            while start < count:
                end = start + 1
                while end < count and advances[end] == 0 and drawn_alone(text[end]):
                    end += 1
                if end - start > 1 and advances[start] and drawn_alone(text[start]):
                    advances[start:end] = shared(advances[start], advances_of(font, text[start:end]))
                    changed = True
                start = end
            if changed:
                record = bytearray(record)
                struct.pack_into('<%di' % count, record, advances_at, *advances)
                emf.records[index] = (kind, bytes(record))

# Names the fonts of a page metafile by the families the system has installed. LibreOffice's PDF import
# takes a font's family from its PostScript name, without the blanks ("LiberationSerif"); LibreOffice
# finds the font all the same (fontconfig compares family names without blanks and case), but Windows'
# font mapper, also under Wine, compares them as they are and draws another font. A face name that is an
# installed family's but for blanks and case becomes that family's name. One that is an installed font's
# PostScript name but for blanks, hyphens and case (a font fontconfig set for a missing one: "P052Roman",
# "Z003MediumItalic", "NimbusRomanRegular") becomes that font's full name ("URWBookman-Light"), in its
# weight and slant, which the name alone does not tell the import: Windows' font mapper, under Wine too,
# tells a family's faces apart only as bold or not and italic or not, and drew URW Bookman's Light in its
# Demi, neither of them marked bold, where a full name picks the one face (Wine loads no Type 1 font, so
# the full name is an OpenType or TrueType font's where the font is installed as one too). Any other is
# left as it is, but for ZapfDingbats, a PDF's standard font of symbols, which the import writes in Unicode
# characters (U+2714 for its check mark): fontconfig sets it in D050000L, which holds its glyphs under the
# font's own codes (the check mark at 0x34) and none under those, so that Windows showed empty boxes. It
# becomes a family that holds the Dingbats block (STAND_INS).
# LibreOffice itself finds no font by such a name and lays the text out in its fallback's (wider) advances:
# its PDF import runs under fontconfig rules that set each PostScript name's font for it.
# Run alone it prints fontconfig's listing of the fonts (their families, PostScript name, weight, slant,
# full names, format and file), which document-to-emf.sh reads once for all the pages of a document, and
# with --fontconfig those rules for the fonts of such a listing:
#   /usr/bin/python3 emf_font_families.py >FAMILIES
#   /usr/bin/python3 emf_font_families.py --fontconfig FAMILIES >FONTS.conf
import subprocess
import sys
from xml.sax.saxutils import escape

from emf_records import EMR_EXTCREATEFONTINDIRECTW, logical_font, with_face_name

LISTING_FORMAT = '%{family}\\t%{postscriptname}\\t%{weight}\\t%{slant}\\t%{fullname}\\t%{fontformat}\\t%{file}\\n'
# fontconfig's weights and the LOGFONT (OpenType) weights they stand for, between which it interpolates.
WEIGHTS = ((0, 100), (40, 200), (50, 300), (55, 350), (75, 380), (80, 400), (100, 500), (180, 600), (200, 700),
           (205, 800), (210, 900), (215, 1000))
FW_MEDIUM = 500
# Faces whose characters the font fontconfig sets them in does not hold in Unicode, and the installed
# family that draws them in much the same shapes.
STAND_INS = {'zapfdingbats': 'DejaVu Sans'}


class FontListError(Exception):
    pass


def comparable(name):
    return ''.join(name.split()).casefold()


def comparable_postscript(name):
    return comparable(name).replace('-', '')


def logfont_weight(weight):
    """The LOGFONT weight of fontconfig's WEIGHT (a number as text), None for a range or nothing."""
    try:
        weight = float(weight)
    except ValueError:
        return None
    for (fc0, ot0), (fc1, ot1) in zip(WEIGHTS, WEIGHTS[1:]):
        if weight <= fc1:
            return round(ot0 + (ot1 - ot0) * (max(weight, fc0) - fc0) / (fc1 - fc0))
    return WEIGHTS[-1][1]


def family_listing():
    """fontconfig's list of the installed fonts, a line a font: its families (comma-separated), PostScript
    name, weight, slant, full names (comma-separated), format and file, tab-separated."""
    try:
        return subprocess.run(['fc-list', '--format', LISTING_FORMAT], check=True, capture_output=True,
                              text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        raise FontListError('fc-list cannot list the installed fonts: %s' % error) from None


def listed_fonts(listing):
    """(family names, PostScript name, fontconfig weight, fontconfig slant, full name, file) of each font of
    LISTING, as family_listing gives it, Type 1 fonts last; the full name is the first fontconfig gives (the
    font's name table's, which Windows reads), None for a Type 1 font, which Wine does not load, or where the
    name is none or too long for a LOGFONT."""
    lines = [line.split('\t') for line in sorted(set(listing.splitlines()))]
    for fields in sorted((fields for fields in lines if len(fields) == 7), key=lambda fields: fields[5] == 'Type 1'):
        names = [family for family in fields[0].split(',') if family.strip() and len(family) <= 31]
        full = fields[4].split(',')[0]
        if names:
            yield (names,) + tuple(fields[1:4]) + (
                full if fields[5] != 'Type 1' and full.strip() and len(full) <= 31 else None, fields[6])


class InstalledFonts:
    """The fonts of a listing as family_listing gives it: FAMILIES maps the comparable name of each of a
    font's family names to that name; POSTSCRIPT a comparable PostScript name that is no family's to the
    font's (face name, LOGFONT weight, italic, family, fontconfig weight, fontconfig slant), the face name its
    full name where it has one, in a weight that has Windows draw the face as it is (it emboldens a face not
    marked bold, URW Bookman's Demi, for a weight above 550), else its family; FACES a family or full name
    to its fonts' (LOGFONT weight, italic, file)."""

    def __init__(self, listing):
        self.families, self.postscript, self.faces = {}, {}, {}
        fonts = list(listed_fonts(listing))
        for names, postscript, weight, slant, full, path in fonts:
            for name in names + [full] if full else names:
                self.faces.setdefault(name, []).append((logfont_weight(weight) or 400, slant not in ('', '0'), path))
            for family in names:
                self.families.setdefault(comparable(family), family)
        for names, postscript, weight, slant, full, path in fonts:
            # Windows names a font's family by its last family (the one its name table keeps for GDI).
            if postscript and comparable_postscript(postscript) not in self.families:
                logfont = logfont_weight(weight) or 400
                self.postscript.setdefault(comparable_postscript(postscript),
                                           (full or names[-1], min(logfont, FW_MEDIUM) if full else logfont,
                                            slant not in ('', '0'), names[-1], weight, slant))

    def fontconfig_rules(self):
        """A fontconfig configuration, the system's with a rule for each PostScript name of POSTSCRIPT: a
        family of that name (blanks and hyphens aside) is the font's family in its weight and slant."""
        rules = []
        for name, (_, _, _, family, weight, slant) in sorted(self.postscript.items()):
            rules.append('<match target="pattern"><test name="family" ignore-blanks="true"><string>%s</string></test>'
                         '<edit name="family" mode="assign" binding="strong"><string>%s</string></edit>%s%s</match>' %
                         (escape(name), escape(family),
                          '<edit name="weight" mode="assign"><int>%s</int></edit>' % weight if weight.isdigit() else '',
                          '<edit name="slant" mode="assign"><int>%s</int></edit>' % slant if slant.isdigit() else ''))
        return ('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">\n<fontconfig>\n'
                '<include ignore_missing="yes">/etc/fonts/fonts.conf</include>\n%s\n</fontconfig>\n' % '\n'.join(rules))

    def file(self, family, weight, italic):
        """The file of FAMILY's font nearest to WEIGHT and ITALIC, None for a family not installed."""
        faces = self.faces.get(family)
        if not faces:
            return None
        return min(faces, key=lambda face: (face[1] != italic, abs(face[0] - weight), face[2]))[2]


def name_installed_families(emf, fonts):
    for index, (kind, record) in enumerate(emf.records):
        if kind != EMR_EXTCREATEFONTINDIRECTW:
            continue
        face = logical_font(record)[0]
        if comparable(face) in fonts.families:
            family, weight, italic = fonts.families[comparable(face)], None, None
        elif comparable_postscript(face) in fonts.postscript:
            family, weight, italic = fonts.postscript[comparable_postscript(face)][:3]
        elif STAND_INS.get(comparable(face)) in fonts.faces:
            family, weight, italic = STAND_INS[comparable(face)], None, None
        else:
            continue
        emf.records[index] = (kind, with_face_name(record, family, weight, italic))


if __name__ == '__main__':
    try:
        if sys.argv[1:2] == ['--fontconfig']:
            with open(sys.argv[2], encoding='utf-8') as listing:
                sys.stdout.write(InstalledFonts(listing.read()).fontconfig_rules())
        else:
            sys.stdout.write(family_listing())
    except (FontListError, OSError, UnicodeError) as error:
        sys.exit('%s: %s' % (sys.argv[0], error))

# Names the fonts of a page metafile by the families the system has installed. LibreOffice's PDF import
# takes a font's family from its PostScript name, without the blanks ("LiberationSerif"); LibreOffice
# finds the font all the same (fontconfig compares family names without blanks and case), but Windows'
# font mapper, also under Wine, compares them as they are and draws another font. A face name that is an
# installed family's but for blanks and case becomes that family's name; any other is left as it is.
# Run alone it prints fontconfig's listing of the families, which document-to-emf.sh reads once for all the
# pages of a document:
#   /usr/bin/python3 emf_font_families.py >FAMILIES
import subprocess
import sys

from emf_records import EMR_EXTCREATEFONTINDIRECTW, logical_font, with_face_name


class FontListError(Exception):
    pass


def comparable(name):
    return ''.join(name.split()).casefold()


def family_listing():
    """fontconfig's list of the installed fonts' families, a line a font (its names, comma-separated)."""
    try:
        return subprocess.run(['fc-list', '--format', '%{family}\\n'], check=True, capture_output=True,
                              text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        raise FontListError('fc-list cannot list the installed fonts: %s' % error) from None


def installed_families(listing):
    """Comparable name -> family name, of every family of LISTING, as family_listing gives it (each of a
    font's names)."""
    families = {}
    for line in sorted(set(listing.splitlines())):
        for family in line.split(','):
            if family.strip() and len(family) <= 31:
                families.setdefault(comparable(family), family)
    return families


def name_installed_families(emf, families):
    for index, (kind, record) in enumerate(emf.records):
        if kind != EMR_EXTCREATEFONTINDIRECTW:
            continue
        face = logical_font(record)[0]
        family = families.get(comparable(face), face)
        if family != face:
            emf.records[index] = (kind, with_face_name(record, family))


if __name__ == '__main__':
    try:
        sys.stdout.write(family_listing())
    except FontListError as error:
        sys.exit('%s: %s' % (sys.argv[0], error))

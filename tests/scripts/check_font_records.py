# Checks every font record (EMR_EXTCREATEFONTINDIRECTW) of page metafiles against the fonts of the PDF they
# were made from: each names a family of the PDF (spaces aside) in a weight and slant that one of the PDF's
# fonts of that family has (bold and italic read from the fonts' names, as in LiberationSerif-BoldItalic),
# and each of the PDF's styles is met. The name must be the family's as installed (fontconfig's list), with
# its blanks: Windows' font mapper finds no other. Prints the styles; exits non-zero on a mismatch.
#   check_font_records.py DOCUMENT.pdf EMF_DIR
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
from emf_font_families import InstalledFonts, family_listing  # noqa: E402
from emf_records import Emf, logical_font, EMR_EXTCREATEFONTINDIRECTW  # noqa: E402

BOLD_WEIGHT = 600


def pdf_styles(pdf):
    """{(family, bold, italic)} of the PDF's fonts."""
    listing = subprocess.run(['pdffonts', pdf], check=True, capture_output=True, text=True).stdout
    styles = set()
    for line in listing.splitlines()[2:]:
        name = re.sub(r'^[A-Z]{6}\+', '', line.split()[0])
        family, _, style = name.partition('-')
        styles.add((family, 'Bold' in style, 'Italic' in style or 'Oblique' in style))
    return styles


def main(pdf, emf_dir):
    expected = pdf_styles(pdf)
    installed = set(InstalledFonts(family_listing()).families.values())
    seen, faults = set(), []
    for name in sorted(n for n in os.listdir(emf_dir) if n.endswith('.emf')):
        for kind, record in Emf.read(os.path.join(emf_dir, name)).records:
            if kind != EMR_EXTCREATEFONTINDIRECTW:
                continue
            face, height, weight, italic = logical_font(record)
            style = (face.replace(' ', ''), weight >= BOLD_WEIGHT, italic)
            seen.add(style)
            if face not in installed:
                faults.append('%s: "%s" is no installed family\'s name' % (name, face))
            if style not in expected:
                faults.append('%s: "%s" height %d weight %d%s is none of the PDF\'s fonts'
                              % (name, face, height, weight, ' italic' if italic else ''))
    faults += ['the PDF\'s %s%s%s is in no font record' % (family, ' bold' if bold else '', ' italic' if italic else '')
               for family, bold, italic in sorted(expected - seen)]
    print('PDF fonts: %s' % ', '.join('%s%s%s' % (f, ' bold' if b else '', ' italic' if i else '')
                                      for f, b, i in sorted(expected)))
    for fault in faults:
        print('FAIL: %s' % fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))

# scripts/export.sh on a table of small pages, all exported at once as one PDF, each judged against
# poppler's render of that PDF: ddjvu's render of the DjVu page may miss only a small share of poppler's
# ink, add only a little, and differ in colour only in a few cells (poppler_judge.py), and the page's text
# layer (djvutxt) holds the words the page shows, or keeps, and none that it should not.
#   export_against_poppler_test.py BUILD-ROOT [NAME...]: the cases whose names hold one of NAMEs, or all
# Each case makes its page with pikepdf, or has LibreOffice make it from a document (its pages join the
# PDF), so that the DjVu file is judged against the PDF the export itself starts from.
import os
import subprocess
import sys
import tempfile

import pikepdf
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from poppler_judge import judge  # noqa: E402

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')


def standard_font(base='Helvetica'):
    return pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1, BaseFont=pikepdf.Name('/' + base),
                              Encoding=pikepdf.Name.WinAnsiEncoding)


def simple_page(content, size=(300, 200), **resources):
    """A page maker: a page of SIZE points drawing CONTENT, with Helvetica as /F1 and Times as /F2 and the
    further RESOURCES (each a function of the PDF that gives a resource dictionary, by kind)."""
    def make(pdf):
        kinds = {'Font': pikepdf.Dictionary(F1=standard_font(), F2=standard_font('Times-Roman'))}
        for kind, maker in resources.items():
            made = maker(pdf)
            kinds[kind] = pikepdf.Dictionary({**dict(kinds.get(kind, {})), **dict(made)})
        return pikepdf.Dictionary(Type=pikepdf.Name.Page, MediaBox=[0, 0, *size], Contents=pdf.make_stream(content),
                                  Resources=pikepdf.Dictionary({'/' + k: v for k, v in kinds.items()}))
    return make


# A flat text document: its automatic styles and its body's content go in.
FODT = '''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:math="http://www.w3.org/1998/Math/MathML" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
%s<office:body><office:text>%s</office:text></office:body></office:document>
'''


class Case:
    """NAME, its page (PAGE(pdf) gives a page dictionary) or its DOCUMENT (an extension and the file's text,
    which LibreOffice turns into a PDF), the words its text layer must hold (WORDS) and must not (ABSENT),
    and the shares of poppler's ink that may be MISSING or EXTRA and of the colour cells that may differ
    (COLOUR), and when given the share by which a line's ink may differ from poppler's in width (LINE_WIDTH)
    and in amount (LINE_INK), within each of BOXES (left, bottom, right, top in points) when given."""

    def __init__(self, name, page=None, document=None, words=(), absent=(), missing=0.05, extra=0.05, colour=0.03,
                 boxes=(None,), line_width=None, line_ink=None):
        self.name, self.page, self.document, self.words, self.absent = name, page, document, words, absent
        self.missing, self.extra, self.colour, self.boxes = missing, extra, colour, boxes
        self.line_width, self.line_ink = line_width, line_ink

    def faulty(self, judgement):
        return (judgement.missing_share > self.missing or judgement.extra_share > self.extra or
                judgement.colour_share > self.colour or
                self.line_width is not None and judgement.line_width_share > self.line_width or
                self.line_ink is not None and judgement.line_ink_share > self.line_ink)


CASES = [
    # What every page starts from: opaque text and shapes, drawn as poppler draws them.
    Case('plain text and shapes', simple_page(b'''0 g BT /F1 14 Tf 20 160 Td (Plain words in Helvetica) Tj ET
BT /F2 14 Tf 20 130 Td (and some in Times Roman) Tj ET 1 0 0 rg 20 40 80 60 re f 0 0 1 RG 4 w 140 40 m 280 100 l S'''),
         words=['Plain', 'Helvetica', 'Times', 'Roman']),
    # The import's side: what the page holds reaches the metafile as the PDF draws it.
    # A footer 14 pt up and a box 5 to 20 pt up, both within the bottom 10 mm of a small page.
    Case('bottom edge kept', simple_page(b'''BT /F1 10 Tf 10 70 Td (Upper) Tj ET BT /F1 8 Tf 10 14 Td (Lowfooter) Tj ET
0 0 1 rg 60 5 30 15 re f''', size=(100, 100)), words=['Upper', 'Lowfooter']),
    # Ligatures that LibreOffice forms (Helvetica set in Nimbus Sans, Carlito) against a control line, each
    # line judged on its own: a ligature's letters drawn over each other leave gaps in their line. In a box
    # a line high, letters' edges make a larger share of the colour cells.
    Case('ligatures', simple_page(b'''BT /F1 16 Tf 10 160 Td (fifty official affidavits filed efficiently) Tj ET
BT /F1 16 Tf 10 130 Td (baffled waffles fluffy flow) Tj ET BT /F1 16 Tf 10 100 Td (sixty annual avowals noted) Tj ET'''),
         boxes=[(0, 154, 300, 178), (0, 124, 300, 148), (0, 94, 300, 118)], colour=0.08,
         words=['fifty', 'official', 'affidavits', 'filed', 'efficiently', 'waffles', 'fluffy', 'sixty']),
    Case('ligatures in Carlito', document=('fodt', FODT % ('''<office:automatic-styles><style:style style:name="P"
 style:family="paragraph"><style:text-properties fo:font-family="Carlito" fo:font-size="16pt"/></style:style>
</office:automatic-styles>''', '''<text:p text:style-name="P">fifty official affidavits filed efficiently</text:p>
<text:p text:style-name="P">baffled waffles fluffy flow</text:p><text:p text:style-name="P">sixty annual avowals noted</text:p>''')),
         words=['fifty', 'official', 'affidavits', 'filed', 'efficiently', 'waffles', 'fluffy', 'sixty']),
    # Fonts that fontconfig sets in URW families, which the PDF names by their PostScript names. Windows lays
    # the letters out on its own grid, so a line may run a little longer than poppler's, its letters not
    # over poppler's: each line is judged by its width and weight of ink. URW Bookman's Light and Demi are
    # both marked neither bold nor regular, so that a weight alone picks neither.
    Case('fonts set in URW families', document=('fodt', FODT % ('''<office:automatic-styles><style:style style:name="A"
 style:family="paragraph"><style:text-properties fo:font-family="'Comic Sans MS'" fo:font-size="14pt"/></style:style>
<style:style style:name="B" style:family="paragraph"><style:text-properties fo:font-family="Palatino" fo:font-size="14pt"/>
</style:style><style:style style:name="C" style:family="paragraph"><style:text-properties fo:font-family="Times"
 fo:font-size="14pt"/></style:style><style:style style:name="D" style:family="paragraph"><style:text-properties
 fo:font-family="'Bookman Old Style'" fo:font-size="14pt"/></style:style><style:style style:name="E" style:family="paragraph">
<style:text-properties fo:font-family="'Bookman Old Style'" fo:font-weight="bold" fo:font-size="14pt"/></style:style>
</office:automatic-styles>''', '''<text:p text:style-name="A">Comic words running on a line</text:p>
<text:p text:style-name="B">Palatino words running on a line</text:p><text:p text:style-name="C">Times words running on a line</text:p>
<text:p text:style-name="D">Bookman words running on a line</text:p><text:p text:style-name="E">Demi words running on a line</text:p>''')),
         words=['Comic', 'Palatino', 'Times', 'Bookman', 'Demi', 'running'], missing=1, extra=1, line_width=0.02,
         line_ink=0.1),
    # An equation: LibreOffice Math draws it.
    Case('equation', document=('fodt', FODT % ('', '''<text:p>Speed follows: <draw:frame text:anchor-type="as-char"
 svg:width="40mm" svg:height="12mm"><draw:object><math:math><math:semantics><math:mrow><math:mi>velocity</math:mi>
<math:mo>=</math:mo><math:mfrac><math:mi>distance</math:mi><math:mi>duration</math:mi></math:mfrac></math:mrow>
</math:semantics></math:math></draw:object></draw:frame></text:p>''')), words=['Speed', 'distance', 'duration']),
    # Lines thinner than a pixel at 300 dpi, drawn a pixel wide as poppler draws them wherever they fall
    # between pixels: 0.1 pt rules across and down (LibreOffice strokes a table's thinnest borders so).
    Case('0.1 pt rules', simple_page(b'''0 G 0.1 w 20 160 m 280 160 l 20 130.2 m 280 130.2 l 20 100 m 280 100 l
20 90 m 280 90 l 20 70.45 m 280 70.45 l 20 40.7 m 280 40.7 l 150.3 20 m 150.3 60 l S''')),
    # Bullets and marks in Word's symbol fonts (Symbol's bullet, Wingdings' tick, square and arrow), which
    # LibreOffice draws in OpenSymbol: each is drawn as the PDF shows it, not as an empty box. The marks
    # alone are judged, in a box around them.
    Case('symbol bullets', document=('fodt', FODT % ('''<office:automatic-styles><text:list-style style:name="L1">
<text:list-level-style-bullet text:level="1" text:bullet-char="&#xF0B7;"><style:list-level-properties
 text:space-before="6mm" text:min-label-width="10mm"/><style:text-properties fo:font-family="Symbol"
 style:font-charset="x-symbol"/></text:list-level-style-bullet></text:list-style><text:list-style style:name="L2">
<text:list-level-style-bullet text:level="1" text:bullet-char="&#xF0FC;"><style:list-level-properties
 text:space-before="6mm" text:min-label-width="10mm"/><style:text-properties fo:font-family="Wingdings"
 style:font-charset="x-symbol"/></text:list-level-style-bullet></text:list-style><style:style style:name="P"
 style:family="paragraph"><style:text-properties fo:font-size="20pt"/></style:style><style:style style:name="W"
 style:family="text"><style:text-properties fo:font-family="Wingdings" style:font-charset="x-symbol"/></style:style>
</office:automatic-styles>''', '''<text:list text:style-name="L1"><text:list-item><text:p text:style-name="P">Symbol
 bullet</text:p></text:list-item></text:list><text:list text:style-name="L2"><text:list-item><text:p text:style-name="P">Wingdings
 tick</text:p></text:list-item></text:list><text:p text:style-name="P"><text:span text:style-name="W">&#xF0A7;&#xF0D8;</text:span>
 square, arrow</text:p>''')), words=['Symbol', 'Wingdings', 'tick'], boxes=[(50, 716, 86, 786)]),
    # A check mark in ZapfDingbats, as a flattened form draws it, drawn in a face that holds it as a character
    # (DejaVu Sans), a little lighter than poppler's in the font's own (D050000L); an empty box in its place
    # misses most of its ink. The mark alone is judged, in a box around it.
    Case('ZapfDingbats check mark', simple_page(b'''BT /F1 16 Tf 50 100 Td (Agreed) Tj ET BT /Z 20 Tf 20 100 Td (4) Tj ET''',
                                                Font=lambda pdf: pikepdf.Dictionary(Z=pikepdf.Dictionary(
                                                    Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1,
                                                    BaseFont=pikepdf.Name.ZapfDingbats))),
         words=['Agreed'], boxes=[(15, 90, 45, 125)], missing=0.5, extra=0.1, colour=0.1),
]


def build(cases, work):
    """One PDF of the pages of CASES; the first page of each case and how many it has."""
    pdf = pikepdf.new()
    placed = []
    for number, case in enumerate(cases):
        first = len(pdf.pages) + 1
        if case.page:
            pdf.pages.append(pikepdf.Page(pdf.make_indirect(case.page(pdf))))
        else:
            extension, text = case.document
            source = os.path.join(work, 'document-%d.%s' % (number, extension))
            with open(source, 'w', encoding='utf-8') as out:
                out.write(text)
            subprocess.run(['soffice', '-env:UserInstallation=file://%s/profile' % work, '--headless', '--convert-to',
                            'pdf', '--outdir', work, source], check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with pikepdf.open(source.rsplit('.', 1)[0] + '.pdf') as made:
                pdf.pages.extend(made.pages)
        placed.append((first, len(pdf.pages) + 1 - first))
    path = os.path.join(work, 'cases.pdf')
    pdf.save(path)
    return path, placed


def main(build_root, *names):
    cases = [case for case in CASES if not names or any(name in case.name for name in names)]
    failed = []
    with tempfile.TemporaryDirectory() as work:
        pdf, placed = build(cases, work)
        out = os.path.join(work, 'cases.djvu')
        # A Wine prefix kept in the build folder for these exports, made by the first run.
        env = dict(os.environ, MVX_BUILD_DIR=build_root,
                   XDG_CACHE_HOME=os.path.join(build_root, 'testdata', 'export-against-poppler'))
        run = subprocess.run(['bash', os.path.join(HERE, 'scripts', 'export.sh'), pdf, out], env=env,
                             capture_output=True, text=True)
        if run.returncode:
            print('FAIL: the export failed:\n%s%s' % (run.stdout, run.stderr))
            return 1
        for case, (first, count) in zip(cases, placed):
            faults, text = [], ''
            for page in range(first, first + count):
                ours, reference = os.path.join(work, 'ours-%d.ppm' % page), os.path.join(work, 'ref-%d' % page)
                subprocess.run(['ddjvu', '-format=ppm', '-page=%d' % page, out, ours], check=True)
                subprocess.run(['pdftoppm', '-r', '300', '-f', str(page), '-l', str(page), '-singlefile', pdf,
                                reference], check=True)
                with Image.open(reference + '.ppm') as image:
                    for box in case.boxes:
                        judgement = judge(ours, image, box, image.height * 72 / 300)
                        if case.faulty(judgement):
                            faults.append('page %d%s: %s' % (page, ' within %s' % (box,) if box else '', judgement))
                text += subprocess.run(['djvutxt', '--page=%d' % page, out], capture_output=True,
                                       text=True).stdout
            words = text.split()
            faults += ['the text layer lacks "%s"' % word for word in case.words if word not in words]
            faults += ['the text layer holds "%s"' % word for word in case.absent if word in words]
            print('%s: %s' % ('FAIL' if faults else 'ok', case.name))
            for fault in faults:
                print('    ' + fault)
            if faults:
                failed.append(case.name)
                print('    text layer: %r' % text)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))

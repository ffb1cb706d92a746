# Small flat ODF documents for the page-metafile and export tests: a three-page A4 text document and a
# two-slide 16:9 presentation, every page with black squares near its corners (one 3 mm from the
# bottom-right edges) at places that differ from page to page and text in between (a table on the A4
# pages), so that where the content lands, up to the page's last millimetres, can be checked page by page;
# a text document of a plain, a bold and an italic line of one size, for the fonts' weight and slant; a
# slide of translucent shapes; and a text document in Office's own fonts.
#   make_page_documents.py OUTDIR   (writes OUTDIR/a4.fodt, slides.fodp, fonts.fodt, translucent.fodp and
#   office-fonts.fodt)
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts'))
from flat_odf import flat_document  # noqa: E402

MARK_STYLE = ('<style:style style:name="mark" style:family="graphic"><style:graphic-properties draw:fill="solid" '
              'draw:fill-color="#000000" draw:stroke="none" style:wrap="run-through" style:run-through="foreground" '
              'style:vertical-pos="from-top" style:vertical-rel="page" style:horizontal-pos="from-left" '
              'style:horizontal-rel="page"/></style:style>')


def marks(page, width, height, anchor):
    """Squares (x, y, size in mm) near the four corners; the last ends 3 mm inside the bottom-right corner."""
    shift = 4 * page
    squares = [(8 + shift, 6, 6), (width - 20, 7 + shift, 5), (9, height - 16 - shift, 7),
               (width - 3 - 8, height - 3 - 8, 8)]
    return ''.join('<draw:rect draw:style-name="mark" %s svg:x="%dmm" svg:y="%dmm" svg:width="%dmm" '
                   'svg:height="%dmm"/>' % (anchor, x, y, s, s) for x, y, s in squares)


def a4_document():
    body = []
    for page in range(1, 4):
        body.append(marks(page, 210, 297, 'text:anchor-type="page" text:anchor-page-number="%d"' % page))
    for page in range(1, 4):
        style = 'P1' if page == 1 else 'Break'
        body.append('<text:h text:style-name="%s" text:outline-level="1">Page %d of the placement test</text:h>'
                    % (style, page))
        for line in range(6 + 3 * page):
            body.append('<text:p>Line %d of page %d: the quick brown fox jumps over the lazy dog.</text:p>'
                        % (line + 1, page))
        cells = ''.join('<table:table-row>%s</table:table-row>' % ''.join(
            '<table:table-cell table:style-name="Cell"><text:p>%s%d</text:p></table:table-cell>' % (c, r)
            for c in 'ABC') for r in range(1, 5))
        body.append('<table:table table:name="T%d"><table:table-column table:number-columns-repeated="3"/>%s'
                    '</table:table>' % (page, cells))
    return flat_document(
        'text',
        MARK_STYLE +
        '<style:page-layout style:name="A4"><style:page-layout-properties fo:page-width="210mm" '
        'fo:page-height="297mm" fo:margin-top="30mm" fo:margin-bottom="25mm" fo:margin-left="30mm" '
        'fo:margin-right="25mm"/></style:page-layout>'
        '<style:style style:name="P1" style:family="paragraph"><style:text-properties fo:font-size="16pt"/>'
        '</style:style>'
        '<style:style style:name="Break" style:family="paragraph"><style:paragraph-properties '
        'fo:break-before="page"/><style:text-properties fo:font-size="16pt"/></style:style>'
        '<style:style style:name="Cell" style:family="table-cell"><style:table-cell-properties '
        'fo:border="0.5pt solid #000000" fo:padding="1mm"/></style:style>',
        '<style:master-page style:name="Standard" style:page-layout-name="A4"/>', ''.join(body))


def slides_document():
    pages = []
    for page in range(1, 3):
        text = ''.join('<text:p>Slide %d, point %d: placed where the slide puts it</text:p>' % (page, n)
                       for n in range(1, 4))
        pages.append('<draw:page draw:name="s%d" draw:master-page-name="Wide">%s'
                     '<draw:frame draw:style-name="box" svg:x="%dmm" svg:y="%dmm" svg:width="180mm" '
                     'svg:height="40mm"><draw:text-box><text:p text:style-name="Title">Slide %d</text:p>%s'
                     '</draw:text-box></draw:frame></draw:page>'
                     % (page, marks(page, 280, 157, ''), 30 + 10 * page, 40, page, text))
    return flat_document(
        'presentation',
        MARK_STYLE + '<style:style style:name="box" style:family="graphic"><style:graphic-properties '
        'draw:fill="none" draw:stroke="none"/></style:style><style:page-layout style:name="Wide">'
        '<style:page-layout-properties fo:page-width="280mm" fo:page-height="157.5mm" fo:margin-top="0mm" '
        'fo:margin-bottom="0mm" fo:margin-left="0mm" fo:margin-right="0mm"/></style:page-layout>',
        '<style:master-page style:name="Wide" style:page-layout-name="Wide"/>', ''.join(pages),
        styles='<style:style style:name="Title" style:family="paragraph"><style:text-properties '
        'fo:font-size="28pt"/></style:style>')

def fonts_document():
    """A plain, a bold and an italic paragraph of one size and the same words, a line each."""
    styles = ''.join('<style:style style:name="%s" style:family="paragraph"><style:text-properties '
                     'fo:font-size="14pt"%s/></style:style>' % (name, properties)
                     for name, properties in (('Plain', ''), ('Bold', ' fo:font-weight="bold"'),
                                              ('Italic', ' fo:font-style="italic"')))
    body = ''.join('<text:p text:style-name="%s">The quick brown fox jumps over the lazy dog</text:p>' % name
                   for name in ('Plain', 'Bold', 'Italic'))
    return flat_document('text', styles, '', body)


def office_fonts_document():
    """A paragraph in Calibri and one in Cambria, Word's default fonts since 2007."""
    styles = ''.join('<style:style style:name="%s" style:family="paragraph"><style:text-properties '
                     'style:font-name="%s" fo:font-family="%s" fo:font-size="11pt"/></style:style>'
                     % (name, name, name) for name in ('Calibri', 'Cambria'))
    body = ''.join('<text:p text:style-name="%s">Set in %s: the quick brown fox jumps over the lazy dog.</text:p>'
                   % (name, name) for name in ('Calibri', 'Cambria'))
    return flat_document('text', styles, '', body)


def translucent_document():
    """A slide of a red square under a black one of 50 % opacity that covers its right half and as much white
    beside it, and of a blue backdrop under a black caption box 45 % transparent with white text."""
    shapes = (('red', 20, 20, 60, 60, ''), ('half', 50, 20, 60, 60, ''), ('backdrop', 130, 20, 120, 100, ''),
              ('veil', 140, 60, 100, 40, '<text:p text:style-name="Caption">Caption over the backdrop</text:p>'))
    fills = (('red', '#ff0000', '100%'), ('half', '#000000', '50%'), ('backdrop', '#3060c0', '100%'),
             ('veil', '#000000', '55%'))
    styles = ''.join('<style:style style:name="%s" style:family="graphic"><style:graphic-properties draw:fill="solid" '
                     'draw:fill-color="%s" draw:opacity="%s" draw:stroke="none" draw:textarea-vertical-align="top"/>'
                     '</style:style>' % fill for fill in fills)
    body = ''.join('<draw:rect draw:style-name="%s" svg:x="%dmm" svg:y="%dmm" svg:width="%dmm" svg:height="%dmm">%s'
                   '</draw:rect>' % shape for shape in shapes)
    return flat_document(
        'presentation',
        styles + '<style:page-layout style:name="Wide"><style:page-layout-properties fo:page-width="280mm" '
        'fo:page-height="157.5mm" fo:margin-top="0mm" fo:margin-bottom="0mm" fo:margin-left="0mm" '
        'fo:margin-right="0mm"/></style:page-layout>',
        '<style:master-page style:name="Wide" style:page-layout-name="Wide"/>',
        '<draw:page draw:name="s1" draw:master-page-name="Wide">%s</draw:page>' % body,
        styles='<style:style style:name="Caption" style:family="paragraph"><style:text-properties '
        'fo:font-size="20pt" fo:color="#ffffff"/></style:style>')


if __name__ == '__main__':
    out = sys.argv[1]
    with open(os.path.join(out, 'a4.fodt'), 'w') as f:
        f.write(a4_document())
    with open(os.path.join(out, 'slides.fodp'), 'w') as f:
        f.write(slides_document())
    with open(os.path.join(out, 'fonts.fodt'), 'w') as f:
        f.write(fonts_document())
    with open(os.path.join(out, 'translucent.fodp'), 'w') as f:
        f.write(translucent_document())
    with open(os.path.join(out, 'office-fonts.fodt'), 'w') as f:
        f.write(office_fonts_document())

# The frame of a flat ODF document (one XML file that LibreOffice opens like the zipped form), for the
# scripts that write the sample and test documents.
NAMESPACES = ' '.join('xmlns:%s="%s"' % pair for pair in (
    ('office', 'urn:oasis:names:tc:opendocument:xmlns:office:1.0'),
    ('style', 'urn:oasis:names:tc:opendocument:xmlns:style:1.0'),
    ('text', 'urn:oasis:names:tc:opendocument:xmlns:text:1.0'),
    ('table', 'urn:oasis:names:tc:opendocument:xmlns:table:1.0'),
    ('draw', 'urn:oasis:names:tc:opendocument:xmlns:drawing:1.0'),
    ('fo', 'urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0'),
    ('svg', 'urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0'),
    ('presentation', 'urn:oasis:names:tc:opendocument:xmlns:presentation:1.0'),
    ('xlink', 'http://www.w3.org/1999/xlink')))


def flat_document(kind, automatic_styles, master_styles, body, styles=''):
    """A whole document of KIND ("text", "presentation") from its style and body elements' contents."""
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document %s office:version="1.3" '
            'office:mimetype="application/vnd.oasis.opendocument.%s"><office:styles>%s</office:styles>'
            '<office:automatic-styles>%s</office:automatic-styles><office:master-styles>%s</office:master-styles>'
            '<office:body><office:%s>%s</office:%s></office:body></office:document>\n'
            % (NAMESPACES, kind, styles, automatic_styles, master_styles, kind, body, kind))

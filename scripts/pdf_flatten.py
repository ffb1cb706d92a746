# Flattens what a PDF page draws translucently into opaque pictures, for LibreOffice's PDF import: Draw keeps
# translucency only in the EMF+ records of its metafiles, which Windows' GDI does not play, so a translucent
# shape would come out opaque or not at all. Each drawing operation of the page's content that is
# translucent (a fill or stroke alpha below 1, a soft mask or a blend mode other than Normal in force, a
# colour that is a pattern drawing translucently, an image with a soft mask, a form that holds any of these),
# or drawn otherwise than the import draws it (an image its clip cuts, a gradient, a pattern fill, which it
# draws past its shape), gives way to a picture of the page as poppler renders it up to that operation, cut
# to where that differs from the render without the operation, within the operation's box; everything else,
# text included, stays as it is. Text that the import draws otherwise than poppler is pictured too (its
# picture, within the box its glyphs may cover as pdf_text_extent.py measures them, follows its text
# object): translucent text, text in a Type 3 font (redrawn in a substitute face), outlined or horizontally
# scaled text, text reaching out of its clip (the import draws text whole), and all drawing under a clip by
# text's glyphs, which it drops. The import draws all text opaque, even invisible text (render mode 3), and
# draws each line of text where the next one starts (or at the page's end), above all drawn before: text
# that a later picture covers is pictured as it shows above that picture, if at all. Text that a
# translucent drawing covers (a highlight) is left out of the drawing's picture and drawn again right after
# it, sharp rather than pictured, where it shows in one colour there (its own, or the one poppler gives it);
# a move of the text position as far as its glyphs advance takes its place. Text not to be drawn as text
# (invisible, or pictured) is kept for its words alone: it becomes invisible to poppler and is drawn in the
# colour by which emf_carried_text.py finds it in the import's metafile, to clip it away there.
# Pictures whose boxes overlap or touch within the same clip become one, drawn where the later stood; a page
# left with more than MAX_PICTURES gets one picture of all their boxes over its whole content instead, so
# that a page costs at most that many pairs of renders, whatever it draws.
import collections
import functools
import glob
import itertools
import math
import os
import subprocess
import tempfile
import zlib

import pikepdf
from PIL import Image, ImageChops, ImageFilter, ImageStat

from emf_carried_text import CARRIED_TEXT_RGB
from pdf_text_extent import measure, page_fonts

DPI = 300                      # the exporter's resolution: one picture pixel a page pixel
IDENTITY = (1.0, 0.0, 0.0, 1.0, 0.0, 0.0)
FILL_PAINTS = {'f', 'F', 'f*'}
STROKE_PAINTS = {'S', 's'}
BOTH_PAINTS = {'B', 'B*', 'b', 'b*'}
TEXT_SHOWS = {'Tj', 'TJ', "'", '"'}
FILL_COLOURS, STROKE_COLOURS = {'g', 'rg', 'k', 'cs', 'sc', 'scn'}, {'G', 'RG', 'K', 'CS', 'SC', 'SCN'}
# Pictures a page may get: each costs a render of its content up to the picture's place (and one without
# what it stands for), so more of them become one picture of all their boxes.
MAX_PICTURES = 16
FILL_MODES, STROKE_MODES = {0, 2, 4, 6}, {1, 2, 5, 6}   # text render modes that fill, that stroke
INVISIBLE_MODES = {3, 7}                                  # and that draw nothing
TEXT_CELL = (-0.2, 0.8)        # a Latin font's descent and ascent, in ems
# How far a channel of text drawn again above a picture may lie from poppler's colour of it.
COLOUR_SLACK = 48
CLIP_SLACK = 0.5               # points by which glyph cells may reach past their clip and still count as within


def multiply(m, n):
    """The matrix M then N, as PDF's cm composes them."""
    a, b, c, d, e, f = m
    p, q, r, s, t, u = n
    return (a * p + b * r, a * q + b * s, c * p + d * r, c * q + d * s, e * p + f * r + t, e * q + f * s + u)


def inverse(m):
    a, b, c, d, e, f = m
    det = a * d - b * c
    if abs(det) < 1e-12:
        return None
    return (d / det, -b / det, -c / det, a / det, (c * f - d * e) / det, (b * e - a * f) / det)


def box_of(points, m):
    xs, ys = zip(*((m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]) for x, y in points))
    return min(xs), min(ys), max(xs), max(ys)


def union(a, b):
    if a is None or b is None:
        return a or b
    return min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3])


def intersection(a, b):
    box = max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3])
    return box if box[0] < box[2] and box[1] < box[3] else None


def number(value):
    """VALUE, a PDF number, as a float; ValueError for anything else, as a damaged page may hold."""
    try:
        return float(value)
    except TypeError:
        raise ValueError('%r where a number belongs' % value) from None


def name(value):
    """VALUE, a PDF name, as a string; ValueError for anything else."""
    if not isinstance(value, pikepdf.Name):
        raise ValueError('%r where a name belongs' % value)
    return str(value)


def numbers(operands):
    return [number(v) for v in operands]


def is_name(value, *names):
    return isinstance(value, pikepdf.Name) and str(value) in names


def soft_masked(image):
    return '/SMask' in image or number(image.get('/SMaskInData', 0)) > 0


def mask_and_blend(state):
    """Whether graphics state STATE sets a soft mask, and a blend mode other than Normal; None for either
    that it leaves as it was."""
    mask, blend = state.get('/SMask'), state.get('/BM')
    if isinstance(blend, pikepdf.Array):
        blend = blend[0] if len(blend) else None
    return (None if mask is None else not is_name(mask, '/None'),
            None if blend is None else not is_name(blend, '/Normal', '/Compatible'))


def graphics_state_translucent(state):
    return number(state.get('/ca', 1)) < 1 or number(state.get('/CA', 1)) < 1 or any(mask_and_blend(state))


def group(resources, kind):
    """The dictionary of KIND ('/ExtGState', '/XObject'...) of RESOURCES, an empty one when there is none."""
    found = resources.get(kind) if isinstance(resources, pikepdf.Dictionary) else None
    return found if isinstance(found, pikepdf.Dictionary) else pikepdf.Dictionary()


def entries(resources, kind):
    found = group(resources, kind)
    return [found[key] for key in found.keys()]


def resources_translucent(resources, seen):
    """Whether RESOURCES hold anything that draws translucently: graphics states, soft-masked images, and
    forms and patterns whose own resources do. SEEN holds the objects already looked at."""
    if not isinstance(resources, pikepdf.Dictionary):
        return False
    if any(isinstance(state, pikepdf.Dictionary) and graphics_state_translucent(state)
           for state in entries(resources, '/ExtGState')):
        return True
    for item in entries(resources, '/XObject') + entries(resources, '/Pattern'):
        if not isinstance(item, (pikepdf.Dictionary, pikepdf.Stream)):
            continue
        key = item.objgen if item.is_indirect else id(item)
        if key in seen:
            continue
        seen.add(key)
        if is_name(item.get('/Subtype'), '/Image'):
            if soft_masked(item):
                return True
        elif (is_name(item.get('/Subtype'), '/Form') or '/PatternType' in item) and pattern_translucent(item, seen):
            return True
    return False


def pattern_translucent(item, seen):
    """Whether the pattern or form ITEM draws translucently, by its own resources or (a shading pattern) its
    graphics state."""
    return isinstance(item, (pikepdf.Dictionary, pikepdf.Stream)) and (
        resources_translucent(item.get('/Resources'), seen) or
        isinstance(item.get('/ExtGState'), pikepdf.Dictionary) and graphics_state_translucent(item.ExtGState))


class State:
    """The part of the graphics state that places and hides drawing, and whether it draws translucently."""

    def __init__(self, clip):
        self.ctm, self.clip, self.line_width, self.mode = IDENTITY, clip, 1.0, 0
        self.fill_alpha = self.stroke_alpha = 1.0
        self.masked = self.blended = False
        # The colour is a pattern: the import fills a shape or text with the pattern's whole area.
        self.fill_pattern = self.stroke_pattern = False
        # Under a clip by text's glyphs, which the import drops: what is drawn there is pictured, as
        # translucent drawing is.
        self.text_clipped = False
        self.clip_exact = True    # the clip is its box: upright rectangles only have clipped
        # The operations that set the fill colour again: its colour space's and its own.
        self.fill_colour = [([0], pikepdf.Operator('g'))]
        # A new one for each clip the content sets: the same one, the same clip.
        self.clip_id = 0
        # The text state (Tf, Tc, Tw, Tz, TL, Ts).
        self.font, self.size, self.scale = None, 0.0, 1.0
        self.char_space = self.word_space = self.leading = self.rise = 0.0

    def copy(self):
        other = State(self.clip)
        other.__dict__.update(self.__dict__)
        return other

    @property
    def fill_translucent(self):
        return self.fill_alpha < 1 or self.masked or self.blended or self.fill_pattern or self.text_clipped

    @property
    def stroke_translucent(self):
        return self.stroke_alpha < 1 or self.masked or self.blended or self.stroke_pattern or self.text_clipped

    def apply(self, state):
        """Takes on what the graphics state dictionary STATE (of a gs operation) sets."""
        self.fill_alpha = number(state.get('/ca', self.fill_alpha))
        self.stroke_alpha = number(state.get('/CA', self.stroke_alpha))
        self.line_width = number(state.get('/LW', self.line_width))
        masked, blended = mask_and_blend(state)
        self.masked = self.masked if masked is None else masked
        self.blended = self.blended if blended is None else blended


class Patch:
    """A picture of the page up to operation AT (included), cut to BOX, that stands for the operations at
    the indexes of HIDDEN, which maps each to the operations that take its place: drawn after AT (in place of
    a drawing operation, after the end of a text object) under the transformation CTM, at DEPTH saved
    graphics states, within the clip CLIP_ID; POPS saved states are restored before it. UNDER: the text drawn
    as text before it that its box covers and that could be drawn again above its picture (DrawnText)."""

    def __init__(self, at, box, ctm, depth, hidden, clip_id, pops=0, under=()):
        self.at, self.box, self.ctm, self.depth, self.hidden = at, box, ctm, depth, hidden
        self.clip_id, self.pops, self.under = clip_id, pops, list(under)


class DrawnText:
    """The text-showing operation INSTRUCTION at INDEX, which the page draws as text, opaque, in STATE (a copy)
    at the text matrix TM: its glyph CELLS and BOX on the page, and CARRIED, what takes its place when a
    later picture covers it (COVERED), to keep it for its words alone. MOVE, when it can be drawn again
    elsewhere (filled, written horizontally, as far as it advances is known), takes its place then."""

    def __init__(self, index, instruction, state, tm, cells, box, carried, advance, vertical):
        self.index, self.instruction, self.state, self.tm = index, instruction, state, tm
        self.cells, self.box, self.carried, self.covered = cells, box, carried, False
        unit = state.size / 1000 * state.scale
        self.move = text_stand_in(str(instruction[1]), instruction[0], -advance / unit) \
            if state.mode == 0 and advance is not None and not vertical and unit and not state.fill_pattern else None

    def again(self, ctm, opaque, colour=None):
        """The operations that draw the text again where the transformation is CTM, opaque (by the graphics
        state named OPAQUE), in the fill colour that the operations COLOUR set (its own when None)."""
        operands, operator = self.instruction
        state = self.state
        if str(operator) in ("'", '"'):
            operands, operator = operands[-1:], pikepdf.Operator('Tj')
        return [([], pikepdf.Operator('q')), ([opaque], pikepdf.Operator('gs')),
                (list(inverse(ctm)), pikepdf.Operator('cm')), (list(state.ctm), pikepdf.Operator('cm'))] + \
            (colour or state.fill_colour) + [
                ([], pikepdf.Operator('BT')), ([pikepdf.Name(state.font), state.size], pikepdf.Operator('Tf')),
                ([state.char_space], pikepdf.Operator('Tc')), ([state.word_space], pikepdf.Operator('Tw')),
                ([state.scale * 100], pikepdf.Operator('Tz')), ([state.rise], pikepdf.Operator('Ts')),
                ([0], pikepdf.Operator('Tr')), (list(self.tm), pikepdf.Operator('Tm')), (list(operands), operator),
                ([], pikepdf.Operator('ET')), ([], pikepdf.Operator('Q'))]

    def hidden(self):
        """What draws it invisibly, moving the text position as it does: a picture without it."""
        return [([3], pikepdf.Operator('Tr')), self.instruction, ([0], pikepdf.Operator('Tr'))]


def text_stand_in(op, operands, move):
    """What takes the place of the text-showing operation OP with OPERANDS when it is drawn elsewhere: its own
    move to the next line and the spacing it sets, then a move of the text position by MOVE (in TJ's
    thousandths of the font size) for its glyphs."""
    stand_in = []
    if op == '"' and len(operands) == 3:
        stand_in += [([operands[0]], pikepdf.Operator('Tw')), ([operands[1]], pikepdf.Operator('Tc'))]
    if op in ("'", '"'):
        stand_in.append(([], pikepdf.Operator('T*')))
    if move:
        stand_in.append(([pikepdf.Array([move])], pikepdf.Operator('TJ')))
    return stand_in


def translated(x, y, m):
    return multiply((1.0, 0.0, 0.0, 1.0, x, y), m)


def show_box(fonts, state, tm, operands, op):
    """What the text-showing operation OP with OPERANDS shows: how far it moves the text position (None when
    that is unknown) and the box its glyphs may cover on the page (None for none); TM is the text matrix."""
    if state.font not in fonts:
        return 0.0, None    # poppler shows nothing in a font the page lacks
    items = operands[0] if op == 'TJ' and operands and isinstance(operands[0], pikepdf.Array) else operands[-1:]
    items = [bytes(item) if isinstance(item, pikepdf.String) else number(item) for item in items]
    measured = measure(fonts[state.font], state, items) if fonts[state.font] else None
    if measured is None:
        return None, state.clip
    advance, box = measured
    if box is None:
        return advance, None
    if state.mode in STROKE_MODES:
        a, b, c, d = state.ctm[:4]
        reach = state.line_width * max(math.hypot(a, b), math.hypot(c, d)) + 1
    else:
        reach = 0.0
    x0, y0, x1, y1 = box_of([box[:2], box[2:], (box[0], box[3]), (box[2], box[1])], multiply(tm, state.ctm))
    box = (x0 - reach, y0 - reach, x1 + reach, y1 + reach)
    return advance, intersection(box, state.clip) if state.clip else None


def fill_colour_after(colour, instruction):
    """The operations that set the fill colour again after INSTRUCTION, a fill colour operation, from
    COLOUR, those that set it before."""
    if str(instruction[1]) in ('sc', 'scn'):
        return [operation for operation in colour if str(operation[1]) == 'cs'] + [instruction]
    return [instruction]


def carried_text(instruction, state):
    """What takes the place of the text-showing INSTRUCTION when the page is to keep its words but not draw
    it as text: the same text, invisible to poppler (clipping still where it clipped) and in the colour by
    which the import's metafile carries it undrawn (emf_carried_text.py), then STATE's render mode and fill
    colour again. It moves the text position as the text does."""
    return [([7 if state.mode >= 4 else 3], pikepdf.Operator('Tr')),
            ([value / 255 for value in CARRIED_TEXT_RGB], pikepdf.Operator('rg')), instruction,
            ([state.mode], pikepdf.Operator('Tr'))] + state.fill_colour


def type3_font(fonts, state):
    """Whether STATE's font is a Type 3 font (of glyph procedures or bitmaps), which the import redraws in a
    substitute face: its text is pictured. FONTS: the page's font dictionaries by name."""
    font = fonts.get(state.font) if state.font else None
    return isinstance(font, pikepdf.Dictionary) and is_name(font.get('/Subtype'), '/Type3')


def glyph_cells(font, state, tm, advance):
    """The box on the page of the cells of the glyphs that a text-showing operation shows in FONT (as pdfminer
    reads it): from the text position (TM) as far as they ADVANCE, between the font's descent and ascent (a
    Latin font's, where it gives none, as LibreOffice's PDFs do not); None when that is unknown, or in
    vertical writing."""
    if font is None or not advance or font.is_vertical():
        return None
    descent, ascent = font.get_descent(), font.get_ascent()
    if ascent <= descent:
        descent, ascent = TEXT_CELL
    bottom, top = descent * state.size + state.rise, ascent * state.size + state.rise
    return box_of([(0, bottom), (advance, top), (0, top), (advance, bottom)], multiply(tm, state.ctm))


def text_effect(state):
    """Whether text shown in STATE has an effect the import drops: outlined (it fills text that only
    strokes, and loses the fill of text that fills and strokes) or scaled horizontally (Tz): it is pictured."""
    return state.mode in STROKE_MODES or abs(state.scale - 1) > 1e-6


def crosses_clip(cells, state, page_box):
    """Whether the glyph CELLS reach out of STATE's clip where the page shows them: the import draws text
    whole, whatever clips it, so such text is pictured."""
    shown = intersection(cells, page_box) if cells else None
    if not shown:
        return False
    clip = state.clip and (state.clip[0] - CLIP_SLACK, state.clip[1] - CLIP_SLACK, state.clip[2] + CLIP_SLACK,
                           state.clip[3] + CLIP_SLACK)
    return not clip or intersection(shown, clip) != shown


def image_cover(op, operands, xobjects, state):
    """The box on the page (within its clip) that the operation OP with OPERANDS paints over when it draws an
    image that is no stencil mask, which covers the text beneath it; None otherwise. XOBJECTS: the page's."""
    if op == 'Do':
        item = xobjects.get(operands[0]) if operands and isinstance(operands[0], pikepdf.Name) else None
        if not isinstance(item, pikepdf.Stream) or not is_name(item.get('/Subtype'), '/Image') or \
                bool(item.get('/ImageMask', False)):
            return None
    elif op != 'INLINE IMAGE' or not operands or operands[0].image_mask:
        return None
    x0, y0, x1, y1 = box_of([(0, 0), (1, 1), (0, 1), (1, 0)], state.ctm)
    # Glyph cells that only touch its edge (a heading's descent on a photo's top) are not covered.
    box = (x0 + CLIP_SLACK, y0 + CLIP_SLACK, x1 - CLIP_SLACK, y1 - CLIP_SLACK)
    return intersection(box, state.clip) if state.clip else None


def carry_form_text(form, colour, seen):
    """Has the invisible text of FORM, if a form XObject drawn where the fill colour is set by COLOUR (None:
    unknown), and of the forms it draws, kept for its words alone as the page's own is (OCR programs lay
    their words over the scan in a form): its content is rewritten in place. SEEN holds the forms already
    looked at. Text after which the fill colour could not be set again (unknown, or of a colour space of the
    page's, which the form cannot name) stays as it is."""
    if not isinstance(form, pikepdf.Stream) or not is_name(form.get('/Subtype'), '/Form') or \
            (form.objgen if form.is_indirect else id(form)) in seen:
        return
    seen.add(form.objgen if form.is_indirect else id(form))
    xobjects = group(form.get('/Resources'), '/XObject')
    state, stack, content, changed = State(None), [], [], False
    state.fill_colour = colour if colour is not None and \
        all(str(operator) in ('g', 'rg', 'k') for _, operator in colour) else None
    for operands, operator in pikepdf.parse_content_stream(form):
        op = str(operator)
        if op in FILL_COLOURS and (state.fill_colour is not None or op not in ('sc', 'scn')):
            state.fill_colour = fill_colour_after(state.fill_colour, (operands, operator))
        if op == 'q':
            stack.append(state.copy())
        elif op == 'Q' and stack:
            state = stack.pop()
        elif op == 'Tr' and operands:
            state.mode = int(number(operands[0]))
        elif op == 'Do' and operands and isinstance(operands[0], pikepdf.Name):
            carry_form_text(xobjects.get(operands[0]), state.fill_colour, seen)
        if op in TEXT_SHOWS and state.mode in INVISIBLE_MODES and state.fill_colour is not None:
            content += carried_text((operands, operator), state)
            changed = True
        else:
            content.append((operands, operator))
    if changed:
        form.write(pikepdf.unparse_content_stream(content))


def clip_cuts(state, box):
    """Whether the clip in force may cut into BOX, what an image covers: the import draws an image whole, so
    a cut one is pictured as poppler draws it."""
    reach = 72 / DPI
    return not state.clip_exact or box[0] < state.clip[0] - reach or box[1] < state.clip[1] - reach or \
        box[2] > state.clip[2] + reach or box[3] > state.clip[3] + reach


def unmasked(page, state, made):
    """What takes the place of a gs operation that sets the graphics state STATE with a soft mask: the same
    state without the mask, made once for each in MADE. The import would draw the mask's group as content;
    what the mask governs is pictured."""
    key = state.objgen if state.is_indirect else id(state)
    if key not in made:
        copy = pikepdf.Dictionary({entry: value for entry, value in state.items() if entry != '/SMask'})
        made[key] = page.add_resource(copy, pikepdf.Name.ExtGState, prefix='Unmasked')
    return [([made[key]], pikepdf.Operator('gs'))]


def find_patches(pdf, page, instructions, page_box):
    """The patches that stand in for the translucent operations of INSTRUCTIONS (the page's content) and for
    its text not to be drawn as text (those of invisible text have no box: no picture), and how many graphics
    states the content leaves saved."""
    resources = page.obj.get('/Resources')
    states, xobjects = (group(resources, kind) for kind in ('/ExtGState', '/XObject'))
    font_dictionaries = group(resources, '/Font')
    state, stack, path, clip_pending, upright = State(page_box), [], None, False, False
    patches, text_patches, fonts, clips, glyph_clip = [], [], None, itertools.count(1), None
    made = {}
    tm = tlm = IDENTITY
    # The text drawn as text so far: its glyph cells, its box and what stands in for it once a picture covers
    # it, as the import draws text above every picture.
    drawn_text = []
    carried_forms = set()
    for index, (operands, operator) in enumerate(instructions):
        op = str(operator)
        box = None
        if op in FILL_COLOURS:
            state.fill_colour = fill_colour_after(state.fill_colour, (operands, operator))
        if op == 'q':
            stack.append(state.copy())
        elif op == 'Q':
            if stack:
                state = stack.pop()
        elif op == 'cm' and len(operands) == 6:
            state.ctm = multiply(tuple(numbers(operands)), state.ctm)
        elif op == 'w' and operands:
            state.line_width = number(operands[0])
        elif op == 'Tr' and operands:
            state.mode = int(number(operands[0]))
        elif op == 'Tf' and len(operands) == 2:
            state.font, state.size = name(operands[0]), number(operands[1])
        elif op in ('Tc', 'Tw', 'Tz', 'TL', 'Ts') and operands:
            value = number(operands[0])
            if op == 'Tc':
                state.char_space = value
            elif op == 'Tw':
                state.word_space = value
            elif op == 'Tz':
                state.scale = value / 100
            elif op == 'TL':
                state.leading = value
            else:
                state.rise = value
        elif op in ('Td', 'TD') and len(operands) == 2:
            x, y = numbers(operands)
            if op == 'TD':
                state.leading = -y
            tm = tlm = translated(x, y, tlm)
        elif op == 'Tm' and len(operands) == 6:
            tm = tlm = tuple(numbers(operands))
        elif op == 'T*':
            tm = tlm = translated(0, -state.leading, tlm)
        elif op == 'gs' and operands and isinstance(states.get(name(operands[0])), pikepdf.Dictionary):
            state.apply(states[operands[0]])
            if mask_and_blend(states[operands[0]])[0]:
                # A patch of no box: it stands for what draws nothing.
                patches.append(Patch(index, None, state.ctm, len(stack),
                                     {index: unmasked(page, states[operands[0]], made)}, state.clip_id))
        elif op in ('scn', 'SCN') and operands and isinstance(operands[-1], pikepdf.Name):
            if op == 'scn':
                state.fill_pattern = True
            else:
                state.stroke_pattern = True
        elif op in FILL_COLOURS:
            state.fill_pattern = False
        elif op in STROKE_COLOURS:
            state.stroke_pattern = False
        elif op in ('m', 'l') and len(operands) == 2:
            path, upright = union(path, box_of([numbers(operands)], state.ctm)), False
        elif op in ('c', 'v', 'y') and len(operands) in (4, 6):
            values = numbers(operands)
            path, upright = union(path, box_of(list(zip(values[0::2], values[1::2])), state.ctm)), False
        elif op == 're' and len(operands) == 4:
            x, y, w, h = numbers(operands)
            upright = path is None and not state.ctm[1] and not state.ctm[2]   # a path of one upright rectangle
            # Every corner: under a turn the two given ones need not be the box's.
            path = union(path, box_of([(x, y), (x + w, y), (x, y + h), (x + w, y + h)], state.ctm))
        elif op in ('W', 'W*'):
            clip_pending = True
        elif op in FILL_PAINTS | STROKE_PAINTS | BOTH_PAINTS | {'n'}:
            stroked = op in STROKE_PAINTS | BOTH_PAINTS and state.stroke_translucent
            filled = op in FILL_PAINTS | BOTH_PAINTS and state.fill_translucent
            if (stroked or filled) and path:
                # A stroke reaches out by half its width, a mitred corner by up to five widths (the default
                # miter limit); a box too wide costs only picture.
                a, b, c, d = state.ctm[:4]
                reach = 5 * state.line_width * max(math.hypot(a, b), math.hypot(c, d)) + 1 \
                    if op in STROKE_PAINTS | BOTH_PAINTS else 0.0
                box = (path[0] - reach, path[1] - reach, path[2] + reach, path[3] + reach)
            if clip_pending and path:
                state.clip = intersection(state.clip, path) if state.clip else None
                state.clip_id, state.clip_exact = next(clips), state.clip_exact and upright
            path, clip_pending = None, False
        elif op == 'Do' and operands and isinstance(xobjects.get(name(operands[0])), pikepdf.Stream):
            item = xobjects[operands[0]]
            if is_name(item.get('/Subtype'), '/Image'):
                image = box_of([(0, 0), (1, 1), (0, 1), (1, 0)], state.ctm)
                if soft_masked(item) or state.fill_translucent or clip_cuts(state, image):
                    box = image
            elif is_name(item.get('/Subtype'), '/Form') and '/BBox' in item:
                if state.fill_translucent or state.stroke_translucent or \
                        resources_translucent(item.get('/Resources', resources), set()):
                    x0, y0, x1, y1 = numbers(item.BBox)
                    matrix = tuple(numbers(item.Matrix)) if '/Matrix' in item else IDENTITY
                    box = box_of([(x0, y0), (x1, y1), (x0, y1), (x1, y0)], multiply(matrix, state.ctm))
        elif op == 'sh':
            box = state.clip    # a gradient fills its clip, which the import does not keep
        elif op == 'INLINE IMAGE':
            image = box_of([(0, 0), (1, 1), (0, 1), (1, 0)], state.ctm)
            if state.fill_translucent or clip_cuts(state, image):
                box = image
        elif op == 'BT':
            text_patches, tm, tlm, glyph_clip = [], IDENTITY, IDENTITY, None
        elif op in TEXT_SHOWS and operands:
            if op == '"' and len(operands) == 3:
                state.word_space, state.char_space = number(operands[0]), number(operands[1])
            if op in ("'", '"'):
                tm = tlm = translated(0, -state.leading, tlm)
            if fonts is None:
                fonts = page_fonts(pdf, page)
            advance, text_box = show_box(fonts, state, tm, operands, op)
            if state.mode >= 4:
                glyph_clip = union(glyph_clip, text_box)
            vertical = bool(advance) and fonts[state.font].is_vertical()
            stand_in = {index: carried_text((operands, operator), state)}
            drawn = state.mode not in INVISIBLE_MODES
            cells = glyph_cells(fonts.get(state.font), state, tm, advance)
            if (state.mode in FILL_MODES and state.fill_translucent) or \
                    (state.mode in STROKE_MODES and state.stroke_translucent) or \
                    (drawn and type3_font(font_dictionaries, state)) or \
                    (drawn and text_effect(state)) or \
                    (drawn and crosses_clip(cells, state, page_box)):
                text_patches.append(Patch(None, text_box, state.ctm, 0, stand_in, None))
            elif not drawn:
                text_patches.append(Patch(None, None, state.ctm, 0, stand_in, None))
            elif text_box:
                drawn_text.append(DrawnText(index, (operands, operator), state.copy(), tm, cells or text_box,
                                            text_box, stand_in, advance, vertical))
            if advance:
                tm = translated(0, advance, tm) if vertical else translated(advance, 0, tm)
        elif op == 'ET':
            if glyph_clip:
                # The text's glyphs clip what follows (a clipping text that shows no glyph clips nothing, as
                # in poppler), whether or not the text itself is pictured.
                state.clip_id, state.clip, state.text_clipped = next(clips), intersection(state.clip, glyph_clip), True
            for patch in text_patches:
                patch.at, patch.depth, patch.clip_id = index, len(stack), state.clip_id
            patches += text_patches
            text_patches = []
        if op == 'Do' and operands and isinstance(operands[0], pikepdf.Name):
            carry_form_text(xobjects.get(operands[0]), state.fill_colour, carried_forms)
        cover = image_cover(op, operands, xobjects, state) if drawn_text else None
        if cover:
            # Text under a picture is carried, and pictured as it shows after the picture, if at all.
            covered = [text for text in drawn_text if intersection(text.cells, cover)]
            drawn_text = [text for text in drawn_text if not intersection(text.cells, cover)]
            for text in covered:
                text.covered = True
                patches.append(Patch(index, text.box, state.ctm, len(stack), text.carried, state.clip_id))
        if box is not None:
            # A path painted may still set a clip.
            stand_in = [([], pikepdf.Operator('n'))] if op in FILL_PAINTS | STROKE_PAINTS | BOTH_PAINTS else []
            box = intersection(box, state.clip) if state.clip else None
            # Text under the drawing that may be drawn again above its picture, within the clip there.
            under = [text for text in drawn_text if box and text.move and intersection(text.cells, box) and
                     not crosses_clip(text.cells, state, page_box)]
            patches.append(Patch(index, box, state.ctm, len(stack), {index: stand_in}, state.clip_id, under=under))
    return patches, len(stack)


def touching(a, b):
    reach = 72 / DPI
    return a[0] <= b[2] + reach and b[0] <= a[2] + reach and a[1] <= b[3] + reach and b[1] <= a[3] + reach


def merged(patches):
    """PATCHES (in content order) with those whose boxes overlap or touch within the same clip made one, drawn
    where the later stood: the picture of the page there holds what the earlier ones stood for too."""
    groups = []
    for patch in patches:
        near = True
        while near:
            near = [group for group in groups if group.clip_id == patch.clip_id and touching(group.box, patch.box)]
            for group in near:
                groups.remove(group)
                patch = Patch(patch.at, union(group.box, patch.box), patch.ctm, patch.depth,
                              {**group.hidden, **patch.hidden}, patch.clip_id,
                              under=group.under + [text for text in patch.under if text not in group.under])
        groups.append(patch)
    return groups


def pixel_box(box, page_box):
    """BOX widened to whole pixels of a render of PAGE_BOX at DPI (left, bottom, right, top in points)."""
    left, _, _, top = page_box
    scale = DPI / 72
    x0, x1 = math.floor((box[0] - left) * scale), math.ceil((box[2] - left) * scale)
    y0, y1 = math.floor((top - box[3]) * scale), math.ceil((top - box[1]) * scale)
    return left + x0 / scale, top - y1 / scale, left + x1 / scale, top - y0 / scale


def with_stand_ins(instructions, hidden):
    """INSTRUCTIONS with those at the indexes of HIDDEN replaced by what it maps them to."""
    return [operation for index, instruction in enumerate(instructions)
            for operation in hidden.get(index, [instruction])]


def strongest(image):
    """The largest of the channels of the RGB IMAGE, as one band."""
    return functools.reduce(ImageChops.lighter, image.split())


def far_from(image, colour, mask):
    """How many pixels of MASK (a band of 0 and 255) differ in the RGB IMAGE from COLOUR by more than
    COLOUR_SLACK in a channel."""
    far = strongest(ImageChops.difference(image, Image.new('RGB', image.size, colour)))
    return ImageChops.multiply(far.point(lambda v: 255 if v > COLOUR_SLACK else 0), mask).histogram()[255]


def colours_above(patch, drawn, bare, alone_drawn, alone_bare):
    """The fill colours in which the text under PATCH (its UNDER), drawn again above its picture without that
    text, looks as poppler draws it: from the renders of the patch's cut of the page up to it (DRAWN), the same
    without what it stands for (BARE), and both without that text (ALONE_DRAWN, ALONE_BARE). Each text keeps
    its own colour (None) where what covers it leaves that (a multiplying highlight over dark text), or takes
    the one colour poppler gives it (a faint highlight), if all of it lies in the cut; None when some text is
    not of one colour there."""
    # The text's body, its edges left out: there an edge blends with what covers it in any case; and its
    # core, a pixel further in, where one colour shows as one.
    body = strongest(ImageChops.difference(bare, alone_bare)).point(lambda v: 255 if v > 160 else 0)
    core = body.filter(ImageFilter.MinFilter(3))
    left, _, _, top = patch.cut
    scale, reach = DPI / 72, 72 / DPI
    colours = {}
    for text in patch.under:
        x0, y0, x1, y1 = text.cells
        region = (max(0, math.floor((x0 - left) * scale)), max(0, math.floor((top - y1) * scale)),
                  min(drawn.width, math.ceil((x1 - left) * scale)), min(drawn.height, math.ceil((top - y0) * scale)))
        if region[0] >= region[2] or region[1] >= region[3]:
            return None
        mask, shown = body.crop(region), drawn.crop(region)
        count = mask.histogram()[255]
        if not count:
            return None     # hidden by what was drawn over it before
        theirs = tuple(round(v) for v in ImageStat.Stat(shown, mask).median)
        own = ImageStat.Stat(bare.crop(region), mask).median
        inner = core.crop(region)
        # Small text's strokes (or a sliver of text in the cut) have hardly a core: then its body's edges,
        # blended, are allowed for.
        share = 0.25
        if inner.histogram()[255] >= count / 4:
            mask, count, share = inner, inner.histogram()[255], 0.1
        if far_from(shown, theirs, mask) > share * count:
            return None
        if max(abs(a - b) for a, b in zip(theirs, own)) <= COLOUR_SLACK:
            colours[text] = None
        elif x0 >= left - reach and y0 >= patch.cut[1] - reach and x1 <= patch.cut[2] + reach and y1 <= top + reach:
            colours[text] = [([v / 255 for v in theirs], pikepdf.Operator('rg'))]
        else:
            return None
    return colours


def pictures(pdf, page, instructions, patches):
    """For each of PATCHES, its picture as poppler draws the page's content up to it, cut to where that
    differs from the same content with the operations it stands for replaced (None where nowhere), and the
    colours in which the text under it is drawn again above it (colours_above(); None where it is not): the
    picture then leaves that text out. The patch's cut becomes the picture's."""
    resources = page.obj.get('/Resources', pikepdf.Dictionary())
    if not resources.is_indirect:
        page.obj.Resources = resources = pdf.make_indirect(resources)
    first = len(pdf.pages) + 1
    renders = []
    for patch in patches:
        drawn = instructions[:patch.at + 1]
        contents = [drawn, with_stand_ins(drawn, patch.hidden)]
        if patch.under:
            hide = {text.index: text.hidden() for text in patch.under}
            contents += [with_stand_ins(drawn, hide), with_stand_ins(drawn, {**hide, **patch.hidden})]
        renders.append(len(contents))
        for content in contents:
            content = pikepdf.unparse_content_stream(list(content) + [([], pikepdf.Operator('Q'))] * patch.depth)
            cut = pikepdf.Dictionary(Type=pikepdf.Name.Page, MediaBox=pikepdf.Array(patch.cut),
                                     Resources=resources, Contents=pdf.make_stream(content))
            if '/Group' in page.obj:
                cut.Group = page.obj.Group
            pdf.pages.append(pikepdf.Page(pdf.make_indirect(cut)))
    with tempfile.TemporaryDirectory() as work:
        pdf.save(os.path.join(work, 'cuts.pdf'))
        while len(pdf.pages) >= first:
            del pdf.pages[-1]
        subprocess.run(['pdftoppm', '-r', str(DPI), '-f', str(first), os.path.join(work, 'cuts.pdf'),
                        os.path.join(work, 'cut')], check=True, stderr=subprocess.DEVNULL)
        files = sorted(glob.glob(os.path.join(work, 'cut-*.ppm')), key=lambda n: int(n[:-4].rsplit('-', 1)[1]))
        if len(files) != sum(renders):
            raise ValueError('poppler drew %d of %d cuts of translucent parts' % (len(files), sum(renders)))
        files = iter(files)
        for patch, count in zip(patches, renders):
            images = []
            for name in itertools.islice(files, count):
                with Image.open(name) as image:
                    images.append(image.convert('RGB'))
                os.remove(name)
            colours = colours_above(patch, *images) if count == 4 else None
            drawn, bare = images[2:] if colours is not None else images[:2]
            box = ImageChops.difference(drawn, bare).getbbox()
            if box:
                left, top = patch.cut[0] + box[0] * 72 / DPI, patch.cut[3] - box[1] * 72 / DPI
                patch.cut = (left, top - (box[3] - box[1]) * 72 / DPI, left + (box[2] - box[0]) * 72 / DPI, top)
            yield (drawn.crop(box), colours) if box else (None, None)


def drawing(pdf, page, patch, picture, opaque):
    """The operations that draw PICTURE at PATCH's place, its cut's top left corner in default user space,
    under the graphics state OPAQUE, after restoring the patch's POPS saved states."""
    # Compressed at once: the page's pictures wait in memory until the page is saved.
    image = pikepdf.Stream(pdf, b'', Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Image, Width=picture.width,
                           Height=picture.height, ColorSpace=pikepdf.Name.DeviceRGB, BitsPerComponent=8)
    image.write(zlib.compress(picture.tobytes()), filter=pikepdf.Name.FlateDecode)
    name = page.add_resource(image, pikepdf.Name.XObject, prefix='Flat')
    width, height = picture.width * 72 / DPI, picture.height * 72 / DPI
    left, top = patch.cut[0], patch.cut[3]
    return [([], pikepdf.Operator('Q'))] * patch.pops + [
            ([], pikepdf.Operator('q')), ([opaque], pikepdf.Operator('gs')),
            (list(inverse(patch.ctm)), pikepdf.Operator('cm')),
            ([width, 0, 0, height, left, top - height], pikepdf.Operator('cm')),
            ([name], pikepdf.Operator('Do')), ([], pikepdf.Operator('Q'))]


def own_blend(annotation):
    """Whether ANNOTATION's own appearance sets a blend mode (poppler draws a Highlight's own appearance only
    then)."""
    appearance = annotation.get('/AP', {}).get('/N') if isinstance(annotation.get('/AP'), pikepdf.Dictionary) \
        else None
    return isinstance(appearance, pikepdf.Stream) and any(
        isinstance(state, pikepdf.Dictionary) and '/BM' in state
        for state in entries(appearance.get('/Resources'), '/ExtGState'))


def highlight_appearance(pdf, annotation):
    """The appearance poppler draws for the Highlight ANNOTATION that has none that sets a blend mode: its
    colour multiplied over each of its quadrilaterals, their ends rounded out by a quarter of their height, at
    its opacity; and its box on the page, which that appearance fills."""
    values, colour = numbers(annotation.get('/QuadPoints', [])), numbers(annotation.get('/C', []))
    opacity = number(annotation.get('/CA', 1))
    x0, y0, x1, y1 = numbers(annotation.get('/Rect', [0, 0, 0, 0]))
    box, bulge = (min(x0, x1), min(y0, y1), max(x0, x1), max(y0, y1)), 0.0
    paths = {1: b'%f g\n', 3: b'%f %f %f rg\n', 4: b'%f %f %f %f k\n'}.get(len(colour), b'') % tuple(colour)
    for at in range(0, len(values) - 7, 8):
        x1, y1, x2, y2, x3, y3, x4, y4 = values[at:at + 8]
        h = abs(y1 - y3) / 4
        paths += b'%f %f m %f %f %f %f %f %f c %f %f l %f %f %f %f %f %f c f\n' % (
            x3, y3, x3 - h, y3 + h, x1 - h, y1 - h, x1, y1, x2, y2, x2 + h, y2 - h, x4 + h, y4 + h, x4, y4)
        box, bulge = union(box, box_of([(x1, y1), (x2, y2), (x3, y3), (x4, y4)], IDENTITY)), max(bulge, h)
    box = [box[0] - bulge, box[1] - bulge, box[2] + bulge, box[3] + bulge]
    marks = pikepdf.Stream(pdf, paths, Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Form, BBox=box,
                           Group=pikepdf.Dictionary(S=pikepdf.Name.Transparency))
    state = pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, BM=pikepdf.Name.Multiply, ca=opacity, CA=opacity)
    return pikepdf.Stream(pdf, b'/Multiply gs /Marks Do', Type=pikepdf.Name.XObject, Subtype=pikepdf.Name.Form,
                          BBox=box, Resources=pikepdf.Dictionary(ExtGState=pikepdf.Dictionary(Multiply=state),
                                                                 XObject=pikepdf.Dictionary(Marks=marks))), box


def annotations_as_content(pdf):
    """Makes what the annotations of PDF's pages draw (those poppler shows, as it shows them) part of the
    pages' content, where what they draw translucently is pictured: the import draws their appearances opaque.
    Links stay annotations, as their targets are read from them."""
    links = []
    for page in pdf.pages:
        annotations = page.obj.get('/Annots')
        annotations = [item for item in annotations if isinstance(item, pikepdf.Dictionary)] \
            if isinstance(annotations, pikepdf.Array) else []
        links.append([item for item in annotations if is_name(item.get('/Subtype'), '/Link')])
        for item in annotations:
            if is_name(item.get('/Subtype'), '/Highlight') and not own_blend(item):
                appearance, box = highlight_appearance(pdf, item)
                item.AP, item.Rect = pikepdf.Dictionary(N=appearance), box
        if links[-1]:
            page.obj.Annots = pikepdf.Array([item for item in annotations
                                             if not is_name(item.get('/Subtype'), '/Link')])
    pdf.flatten_annotations('screen')
    for page, kept in zip(pdf.pages, links):
        if kept:
            page.obj.Annots = pikepdf.Array(list(page.obj.get('/Annots', [])) + kept)


def drawn_part(instructions):
    """INSTRUCTIONS up to the first Q that restores no saved state, where poppler stops drawing the page, as
    does the import: kept, that Q would restore a state the flattening saves around the content, and what
    follows it would be drawn."""
    depth = 0
    for index, (_, operator) in enumerate(instructions):
        op = str(operator)
        if op == 'Q' and not depth:
            return instructions[:index]
        depth += {'q': 1, 'Q': -1}.get(op, 0)
    return instructions


def flatten(pdf, page, page_box):
    """Draws PAGE's translucent parts as pictures; PAGE_BOX is what a viewer shows of it (left, bottom, right,
    top), and keeps the words of text it does not draw as text. Returns how many pictures it drew."""
    try:
        instructions = drawn_part(pikepdf.parse_content_stream(page))
        patches, depth = find_patches(pdf, page, instructions, page_box)
    except (pikepdf.PdfError, ValueError):
        # Damaged content is refused where the page draws translucently, which the import cannot draw;
        # elsewhere the page goes to the import as it is, to be drawn as far as it reads it.
        if resources_translucent(page.obj.get('/Resources'), set()):
            raise
        return 0
    if not patches:
        return 0
    # A patch without a box or under a flat transformation stands for operations that draw nothing.
    shown = merged([patch for patch in patches if patch.box and inverse(patch.ctm)])
    content = []
    if len(shown) > MAX_PICTURES:
        # One picture of all their boxes, drawn over the whole content outside every state it saves.
        content.append(([], pikepdf.Operator('q')))
        shown = [Patch(len(instructions) - 1, functools.reduce(union, (patch.box for patch in shown)), IDENTITY,
                       depth, {index: stand_in for patch in shown for index, stand_in in patch.hidden.items()},
                       None, depth + 1)]
    # Text under more than one picture, or that a later picture covers, stays in its pictures.
    under = collections.Counter(text for patch in shown for text in patch.under)
    for patch in shown:
        patch.cut = pixel_box(patch.box, page_box)
        patch.under = [text for text in patch.under if under[text] == 1 and not text.covered]
    drawings, moved = {}, {}
    if shown:
        # The pictures hold the translucency already: they are drawn whatever alpha, mask or blend mode is
        # in force where they stand.
        opaque = page.add_resource(pikepdf.Dictionary(Type=pikepdf.Name.ExtGState, ca=1, CA=1,
                                                      SMask=pikepdf.Name('/None'), BM=pikepdf.Name.Normal),
                                   pikepdf.Name.ExtGState, prefix='Opaque')
        for patch, (picture, colours) in zip(shown, pictures(pdf, page, instructions, shown)):
            if picture:
                # Text drawn again after the picture: the import draws a line of text where the next line
                # starts (or at the page's end), above all drawn before, so its own place would be below.
                drawings.setdefault(patch.at, []).append(drawing(pdf, page, patch, picture, opaque) + [
                    operation for text, colour in (colours or {}).items()
                    for operation in text.again(patch.ctm, opaque, colour)])
                moved.update((text.index, text.move) for text in colours or {})
    hidden = {index: stand_in for patch in patches for index, stand_in in patch.hidden.items()}
    hidden.update(moved)
    for index, instruction in enumerate(instructions):
        content += hidden.get(index, [instruction])
        content += [operation for drawn in drawings.get(index, []) for operation in drawn]
    page.obj.Contents = pdf.make_stream(pikepdf.unparse_content_stream(content))
    return sum(len(drawn) for drawn in drawings.values())

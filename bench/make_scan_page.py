# A scanned A4 page as a PDF holding one 600-dpi picture (4960 x 7016): paper with grain, lines of dark
# marks in place of words, and a photograph; the picture is drawn larger than the page's 300-dpi render.
#   make_scan_page.py OUT.pdf
import random, sys
from PIL import Image, ImageDraw, ImageFilter

width, height = 4960, 7016
rnd = random.Random(39)
page = Image.effect_noise((width, height), 6).point(lambda v: max(0, min(255, v + 236 - 128))).convert('RGB')
draw = ImageDraw.Draw(page)
for top in range(600, 4200, 110):
    x = 500
    while x < width - 700:
        word = rnd.randint(80, 420)
        draw.rectangle((x, top, x + word, top + 52), fill=(40, 40, 46))
        x += word + rnd.randint(40, 70)
photo = Image.radial_gradient('L').resize((3600, 2400)).convert('RGB')
photo = Image.merge('RGB', (photo.getchannel(0), photo.getchannel(0).point(lambda v: v // 2 + 60),
                            photo.getchannel(0).point(lambda v: 255 - v)))
photo = Image.blend(photo, Image.effect_noise((3600, 2400), 40).convert('RGB'), 0.25).filter(ImageFilter.BLUR)
page.paste(photo, (680, 4400))
page.save(sys.argv[1], resolution=600, quality=85)

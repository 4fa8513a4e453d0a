#!/usr/bin/python3
"""Paints the demo site's pictures: the photo album's landscapes (JPEG) and the
screenshot placeholder (PNG), all drawn procedurally from fixed seeds.

Run by hand with Debian's python3-pil when a picture changes; the results are
committed under resources/demo/, so building the program never needs this script.
Usage: tools/make_demo_pictures.py [RESOURCES_DIR]
"""
import math
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 480, 320
HORIZON = 190


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def gradient(image, box, stops):
    """Fills box (x0, y0, x1, y1) top to bottom through the colour stops [(t, colour)]."""
    draw = ImageDraw.Draw(image)
    x0, y0, x1, y1 = box
    for y in range(y0, y1):
        t = (y - y0) / max(1, y1 - y0 - 1)
        for (ta, ca), (tb, cb) in zip(stops, stops[1:]):
            if ta <= t <= tb:
                draw.line([(x0, y), (x1 - 1, y)], fill=mix(ca, cb, (t - ta) / max(1e-9, tb - ta)))
                break


def ridge(rng, base, amplitude, roughness, width=WIDTH):
    """Heights of a mountain ridge by midpoint displacement, one per column."""
    size = 1
    while size < width:
        size *= 2
    points = [base + rng.uniform(-amplitude, amplitude), base + rng.uniform(-amplitude, amplitude)]
    step = amplitude
    while len(points) < size + 1:
        refined = []
        for a, b in zip(points, points[1:]):
            refined += [a, (a + b) / 2 + rng.uniform(-step, step)]
        refined.append(points[-1])
        points = refined
        step *= roughness
    return points[:width]


def fill_below(image, heights, colour, bottom=HEIGHT):
    draw = ImageDraw.Draw(image)
    polygon = [(x, h) for x, h in enumerate(heights)] + [(len(heights) - 1, bottom), (0, bottom)]
    draw.polygon(polygon, fill=colour)


def soft_blobs(image, blobs, blur):
    """Blurred ellipses (clouds, haze, glow) blended over the picture."""
    layer = Image.new("RGBA", image.size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(layer)
    for (x, y, rx, ry, colour) in blobs:
        draw.ellipse([x - rx, y - ry, x + rx, y + ry], fill=colour)
    layer = layer.filter(ImageFilter.GaussianBlur(blur))
    image.alpha_composite(layer)


def reflect(image, top):
    """Mirrors what stands above `top` into the water below it, darker and rippled."""
    above = image.crop((0, top - (HEIGHT - top), WIDTH, top)).transpose(Image.FLIP_TOP_BOTTOM)
    rippled = above.copy()
    for y in range(above.height):
        shift = int(3 * math.sin(y * 0.9))
        row = above.crop((0, y, WIDTH, y + 1))
        rippled.paste(row, (shift, y))
    water = Image.new("RGBA", above.size, (20, 40, 70, 255))
    image.paste(Image.blend(rippled, water, 0.35), (0, top))


def sun(image, x, y, radius, colour, glow):
    soft_blobs(image, [(x, y, radius * 3, radius * 3, glow)], radius)
    ImageDraw.Draw(image).ellipse([x - radius, y - radius, x + radius, y + radius], fill=colour)


def conifer(draw, x, base, height, colour):
    for i in range(5):
        w = height * (0.28 - i * 0.045)
        top = base - height + i * height * 0.12
        draw.polygon([(x, top), (x - w, top + height * 0.42), (x + w, top + height * 0.42)], fill=colour)
    draw.rectangle([x - 1, base - height * 0.1, x + 1, base], fill=colour)


def leaf(draw, x, y, size, angle, colour, vein):
    points = []
    for i in range(24):
        t = i / 23 * math.pi
        along = -math.cos(t) * size
        across = math.sin(t) * size * 0.45
        points.append((along, across))
    points += [(a, -b) for a, b in reversed(points)]
    ca, sa = math.cos(angle), math.sin(angle)
    placed = [(x + a * ca - b * sa, y + a * sa + b * ca) for a, b in points]
    draw.polygon(placed, fill=colour)
    draw.line([(x - size * ca, y - size * sa), (x + size * ca, y + size * sa)], fill=vein, width=1)


def branch_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HEIGHT), [(0, (120, 170, 220)), (1, (220, 235, 245))])
    soft_blobs(image, [(rng.uniform(0, WIDTH), rng.uniform(0, HEIGHT), 60, 40, (255, 255, 255, 90))
                       for _ in range(6)], 25)
    draw = ImageDraw.Draw(image)

    def grow(x, y, angle, length, width, depth):
        if depth == 0 or length < 6:
            for _ in range(3):
                px, py = x + rng.uniform(-8, 8), y + rng.uniform(-8, 8)
                r = rng.uniform(3, 5)
                draw.ellipse([px - r, py - r, px + r, py + r], fill=(245, 180, 200))
                draw.ellipse([px - 1.2, py - 1.2, px + 1.2, py + 1.2], fill=(200, 80, 110))
            return
        x2, y2 = x + math.cos(angle) * length, y + math.sin(angle) * length
        draw.line([(x, y), (x2, y2)], fill=(70, 50, 40), width=max(1, int(width)))
        grow(x2, y2, angle + rng.uniform(-0.5, -0.15), length * 0.72, width * 0.7, depth - 1)
        grow(x2, y2, angle + rng.uniform(0.15, 0.5), length * 0.66, width * 0.65, depth - 1)

    grow(-10, 250, -0.35, 150, 14, 7)
    return image


def cloud_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HEIGHT), [(0, (40, 100, 190)), (1, (150, 200, 240))])
    blobs = []
    for cx, cy, scale in [(140, 110, 1.0), (360, 80, 0.7), (300, 200, 0.8)]:
        for _ in range(14):
            blobs.append((cx + rng.gauss(0, 55 * scale), cy + rng.gauss(0, 18 * scale),
                          rng.uniform(25, 50) * scale, rng.uniform(18, 32) * scale, (255, 255, 255, 235)))
    soft_blobs(image, blobs, 9)
    soft_blobs(image, [(b[0], b[1] + 14, b[2], b[3] * 0.5, (150, 160, 185, 80)) for b in blobs], 12)
    fill_below(image, ridge(rng, 285, 14, 0.5), (80, 140, 70))
    return image


def autumn_picture(rng, sky, ground, leaves):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HEIGHT), sky)
    draw = ImageDraw.Draw(image)
    for _ in range(9):
        x = rng.uniform(0, WIDTH)
        w = rng.uniform(6, 16)
        draw.rectangle([x - w / 2, 0, x + w / 2, 260], fill=(60, 42, 35))
    soft_blobs(image, [(rng.uniform(0, WIDTH), rng.uniform(0, 170), rng.uniform(30, 70), rng.uniform(20, 45),
                        rng.choice(leaves) + (200,)) for _ in range(40)], 8)
    gradient(image, (0, 250, WIDTH, HEIGHT), ground)
    draw = ImageDraw.Draw(image)
    for _ in range(260):
        leaf(draw, rng.uniform(0, WIDTH), rng.uniform(255, HEIGHT), rng.uniform(3, 7), rng.uniform(0, math.pi),
             rng.choice(leaves), (90, 50, 20))
    return image


def fall_picture(rng):
    return autumn_picture(rng, [(0, (250, 210, 140)), (1, (230, 150, 70))], [(0, (150, 90, 40)), (1, (110, 60, 30))],
                          [(230, 120, 30), (200, 60, 30), (240, 180, 50), (170, 40, 30)])


def fall_path_picture(rng):
    image = autumn_picture(rng, [(0, (200, 215, 200)), (1, (200, 170, 100))],
                           [(0, (120, 110, 60)), (1, (90, 70, 40))],
                           [(220, 170, 40), (200, 110, 30), (150, 130, 40)])
    draw = ImageDraw.Draw(image)
    draw.polygon([(225, 250), (255, 250), (360, HEIGHT), (120, HEIGHT)], fill=(170, 140, 100))
    for _ in range(60):
        leaf(draw, rng.uniform(150, 330), rng.uniform(255, HEIGHT), rng.uniform(3, 6), rng.uniform(0, math.pi),
             (210, 120, 30), (90, 50, 20))
    return image


def lake_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HORIZON), [(0, (110, 160, 215)), (1, (200, 225, 240))])
    fill_below(image, ridge(rng, 120, 35, 0.55), (120, 135, 160), HORIZON)
    fill_below(image, ridge(rng, 160, 18, 0.5), (60, 95, 80), HORIZON)
    draw = ImageDraw.Draw(image)
    for x in range(0, WIDTH, 9):
        conifer(draw, x + rng.uniform(-3, 3), HORIZON, rng.uniform(18, 34), (30, 60, 45))
    reflect(image, HORIZON)
    return image


def lighthouse_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, 210), [(0, (40, 50, 100)), (0.7, (220, 120, 90)), (1, (250, 190, 120))])
    gradient(image, (0, 210, WIDTH, HEIGHT), [(0, (60, 70, 110)), (1, (20, 30, 60))])
    soft_blobs(image, [(330, 75, 170, 16, (255, 240, 180, 120))], 10)
    draw = ImageDraw.Draw(image)
    draw.polygon([(0, 250), (60, 215), (150, 205), (230, 230), (260, HEIGHT), (0, HEIGHT)], fill=(45, 40, 40))
    x, base, top = 130, 212, 70
    for i in range(6):
        y0 = top + (base - top) * i / 6
        y1 = top + (base - top) * (i + 1) / 6
        w0, w1 = 12 + 8 * i / 6, 12 + 8 * (i + 1) / 6
        draw.polygon([(x - w0, y0), (x + w0, y0), (x + w1, y1), (x - w1, y1)],
                     fill=(200, 40, 40) if i % 2 == 0 else (240, 240, 235))
    draw.rectangle([x - 10, top - 18, x + 10, top], fill=(255, 235, 150))
    draw.polygon([(x - 13, top - 18), (x, top - 32), (x + 13, top - 18)], fill=(40, 40, 45))
    for _ in range(80):
        wx, wy = rng.uniform(230, WIDTH), rng.uniform(215, HEIGHT)
        draw.line([(wx, wy), (wx + rng.uniform(6, 20), wy)], fill=(250, 200, 150))
    return image


def mountains_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HEIGHT), [(0, (150, 185, 230)), (1, (235, 240, 245))])
    layers = [(110, 60, (150, 160, 190)), (160, 45, (110, 125, 160)), (210, 35, (75, 95, 125)),
              (260, 25, (45, 65, 85))]
    for i, (base, amplitude, colour) in enumerate(layers):
        heights = ridge(rng, base, amplitude, 0.58)
        fill_below(image, heights, colour)
        if i == 0:
            draw = ImageDraw.Draw(image)
            for x, h in enumerate(heights):
                snow_line = base - amplitude * 0.4
                if h < snow_line:
                    draw.line([(x, h), (x, h + (snow_line - h) * 0.5)], fill=(245, 248, 252))
        soft_blobs(image, [(WIDTH / 2, base + 30, WIDTH, 25, (235, 240, 245, 70))], 15)
    return image


def redleaves_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HEIGHT), [(0, (25, 45, 30)), (1, (50, 70, 40))])
    draw = ImageDraw.Draw(image)
    for _ in range(70):
        red = rng.randint(170, 235)
        leaf(draw, rng.uniform(-20, WIDTH + 20), rng.uniform(-20, HEIGHT + 20), rng.uniform(18, 42),
             rng.uniform(0, math.pi), (red, rng.randint(20, 60), rng.randint(20, 40)), (120, 20, 20))
    return image


def road_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, 170), [(0, (90, 150, 220)), (1, (210, 230, 245))])
    gradient(image, (0, 170, WIDTH, HEIGHT), [(0, (150, 170, 80)), (1, (90, 130, 50))])
    fill_below(image, ridge(rng, 165, 8, 0.5), (110, 140, 120), 172)
    draw = ImageDraw.Draw(image)
    vanish = (250, 170)
    draw.polygon([vanish, (vanish[0] + 4, 170), (420, HEIGHT), (80, HEIGHT)], fill=(70, 70, 75))
    for i in range(12):
        t0, t1 = (i / 12) ** 2, ((i + 0.5) / 12) ** 2
        y0, y1 = 170 + (HEIGHT - 170) * t0, 170 + (HEIGHT - 170) * t1
        x0, x1 = 252 + (250 - 252) * t0, 252 + (250 - 252) * t1
        draw.line([(x0, y0), (x1, y1)], fill=(240, 220, 120), width=max(1, int(1 + 5 * t1)))
    for side in (-1, 1):
        for i in range(1, 10):
            t = (i / 10) ** 2
            x = 252 + side * (20 + 260 * t)
            h = 10 + 90 * t
            y = 170 + (HEIGHT - 170) * t
            draw.line([(x, y), (x, y - h * 0.4)], fill=(70, 50, 35), width=max(1, int(4 * t)))
            soft_blobs(image, [(x, y - h * 0.6, h * 0.3, h * 0.35, (40, 90, 45, 240))], 2)
            draw = ImageDraw.Draw(image)
    return image


def sea_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, 150), [(0, (70, 130, 200)), (1, (200, 225, 240))])
    gradient(image, (0, 150, WIDTH, HEIGHT), [(0, (40, 110, 160)), (1, (15, 55, 95))])
    soft_blobs(image, [(rng.uniform(0, WIDTH), rng.uniform(20, 110), rng.uniform(40, 90), 14, (255, 255, 255, 150))
                       for _ in range(7)], 10)
    draw = ImageDraw.Draw(image)
    for _ in range(700):
        y = rng.uniform(152, HEIGHT)
        depth = (y - 150) / (HEIGHT - 150)
        x = rng.uniform(0, WIDTH)
        length = 4 + 30 * depth
        shade = rng.choice([(230, 240, 250), (90, 150, 190), (20, 70, 110)])
        draw.arc([x - length, y - 2 * depth - 1, x + length, y + 2 * depth + 1], 200, 340, fill=shade)
    return image


def stones_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT), (120, 110, 95, 255))
    draw = ImageDraw.Draw(image)
    stones = []
    for _ in range(900):
        x, y = rng.uniform(-20, WIDTH + 20), rng.uniform(-20, HEIGHT + 20)
        r = rng.uniform(12, 30)
        if all((x - sx) ** 2 + (y - sy) ** 2 > (r + sr) ** 2 * 0.8 for sx, sy, sr in stones):
            stones.append((x, y, r))
    for x, y, r in stones:
        tone = rng.randint(110, 200)
        base = (tone, tone - rng.randint(0, 15), tone - rng.randint(10, 35))
        draw.ellipse([x - r + 3, y - r * 0.75 + 4, x + r + 3, y + r * 0.75 + 4], fill=(60, 55, 50))
        draw.ellipse([x - r, y - r * 0.75, x + r, y + r * 0.75], fill=base)
        draw.ellipse([x - r * 0.5, y - r * 0.6, x + r * 0.2, y - r * 0.1], fill=mix(base, (255, 255, 255), 0.3))
    return image.filter(ImageFilter.SMOOTH)


def sunset_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HORIZON),
             [(0, (60, 40, 110)), (0.5, (200, 80, 90)), (0.85, (250, 150, 70)), (1, (255, 200, 110))])
    sun(image, 300, HORIZON - 25, 26, (255, 225, 150), (255, 170, 80, 140))
    soft_blobs(image, [(rng.uniform(0, WIDTH), rng.uniform(30, 120), rng.uniform(50, 110), 8, (120, 50, 90, 150))
                       for _ in range(6)], 6)
    fill_below(image, ridge(rng, HORIZON - 12, 14, 0.5), (50, 30, 60), HORIZON)
    reflect(image, HORIZON)
    draw = ImageDraw.Draw(image)
    for _ in range(40):
        y = rng.uniform(HORIZON + 3, HEIGHT)
        x = 300 + rng.gauss(0, 10 + (y - HORIZON) * 0.3)
        draw.line([(x - 8, y), (x + 8, y)], fill=(255, 210, 140))
    return image


def white_night_picture(rng):
    image = Image.new("RGBA", (WIDTH, HEIGHT))
    gradient(image, (0, 0, WIDTH, HORIZON),
             [(0, (150, 170, 205)), (0.6, (225, 200, 215)), (1, (250, 225, 200))])
    sun(image, 120, HORIZON - 6, 10, (255, 240, 215), (255, 220, 200, 90))
    draw = ImageDraw.Draw(image)
    for x in range(0, WIDTH, 7):
        if 80 < x < 170:
            continue
        conifer(draw, x + rng.uniform(-2, 2), HORIZON, rng.uniform(25, 60), (35, 40, 55))
    reflect(image, HORIZON)
    return image


PICTURES = {
    "branch": branch_picture,
    "cloud": cloud_picture,
    "fall-4": fall_path_picture,
    "fall": fall_picture,
    "lake": lake_picture,
    "lighthouse": lighthouse_picture,
    "mountains": mountains_picture,
    "redleaves": redleaves_picture,
    "road": road_picture,
    "sea": sea_picture,
    "stones": stones_picture,
    "sunset-2": sunset_picture,
    "white-night": white_night_picture,
}


def lettering_font(size):
    """DejaVu Sans where it is installed: the built-in bitmap font draws a broken "T"."""
    try:
        return ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", size)
    except OSError:
        return ImageFont.load_default()


def screenshot_placeholder():
    """A desktop screen saying that no live screen could be captured."""
    width, height = 320, 240
    image = Image.new("RGB", (width, height), (240, 244, 248))
    draw = ImageDraw.Draw(image)
    draw.rectangle([0, 0, width, 24], fill=(29, 111, 165))
    draw.rectangle([0, height - 22, width, height], fill=(210, 220, 230))
    draw.text((10, 4), "Tarnhollow", fill=(255, 255, 255), font=lettering_font(14))
    for row in range(2):
        for col in range(4):
            x, y = 28 + col * 70, 40 + row * 56
            draw.rounded_rectangle([x, y, x + 52, y + 42], 8, fill=(200, 215, 230))
    font = lettering_font(13)
    for i, line in enumerate(["No screen could be captured.", "This picture stands in", "for the live screenshot."]):
        draw.text((28, 160 + i * 17), line, fill=(60, 70, 80), font=font)
    return image


def main():
    resources = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    album = os.path.join(resources, "demo", "demo", "PhotoAlbum")
    os.makedirs(album, exist_ok=True)
    for index, (name, paint) in enumerate(PICTURES.items()):
        picture = paint(random.Random(1000 + index)).convert("RGB")
        picture.save(os.path.join(album, name + ".jpg"), "JPEG", quality=80, optimize=True, progressive=True)
    shots = os.path.join(resources, "demo", "ScreenShot")
    os.makedirs(shots, exist_ok=True)
    screenshot_placeholder().save(os.path.join(shots, "screenshot.png"), "PNG", optimize=True)


if __name__ == "__main__":
    main()

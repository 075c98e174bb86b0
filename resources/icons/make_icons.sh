#!/usr/bin/env bash
# Makes the application icon: a document page with a magnifying lens over its text.
# The shapes are written once below (on a 256x256 canvas) and turned both into the SVG
# and into ImageMagick draw commands, so the vector and raster forms cannot drift apart.
# Output, beside this script: foliolens.svg, foliolens-<size>.png and foliolens.ico.
# Needs ImageMagick 6 (`convert`); run it again after changing a shape.
set -euo pipefail
cd "$(dirname "$0")"

convert_bin=${CONVERT:-/usr/bin/convert}

outline='#34495e'
paper='#ffffff'
fold='#cfd8e3'
ink='#7f93aa'
glass='#d6ebff'
rim='#1f5f99'

# Page with its top-right corner folded over.
page_points="40,14 150,14 196,60 196,242 40,242"
fold_points="150,14 150,60 196,60"
# Lines of text: x y width height.
text_lines=("64 84 100 12" "64 112 108 12" "64 140 70 12" "64 168 60 12" "64 196 96 12")
# Lens: centre and radius; the handle runs from the rim outwards.
lens_cx=146 lens_cy=150 lens_r=54
handle_x1=186 handle_y1=190 handle_x2=232 handle_y2=236

make_svg() {
    local line x y w h
    printf '<?xml version="1.0" encoding="UTF-8"?>\n'
    printf '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">\n'
    printf '  <title>FolioLens</title>\n'
    printf '  <polygon points="%s" fill="%s" stroke="%s" stroke-width="8" stroke-linejoin="round"/>\n' \
        "$page_points" "$paper" "$outline"
    printf '  <polygon points="%s" fill="%s" stroke="%s" stroke-width="8" stroke-linejoin="round"/>\n' \
        "$fold_points" "$fold" "$outline"
    for line in "${text_lines[@]}"; do
        read -r x y w h <<<"$line"
        printf '  <rect x="%s" y="%s" width="%s" height="%s" rx="4" fill="%s"/>\n' \
            "$x" "$y" "$w" "$h" "$ink"
    done
    printf '  <line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" stroke-width="26" stroke-linecap="round"/>\n' \
        "$handle_x1" "$handle_y1" "$handle_x2" "$handle_y2" "$rim"
    printf '  <circle cx="%s" cy="%s" r="%s" fill="%s" fill-opacity="0.8" stroke="%s" stroke-width="14"/>\n' \
        "$lens_cx" "$lens_cy" "$lens_r" "$glass" "$rim"
    printf '</svg>\n'
}

# The same shapes as one ImageMagick -draw argument, on the 256x256 canvas.
draw_commands() {
    local line x y w h
    printf 'stroke-linejoin round stroke-width 8 stroke %s ' "$outline"
    printf 'fill %s polygon %s ' "$paper" "$page_points"
    printf 'fill %s polygon %s ' "$fold" "$fold_points"
    printf 'stroke none fill %s ' "$ink"
    for line in "${text_lines[@]}"; do
        read -r x y w h <<<"$line"
        printf 'roundrectangle %s,%s %s,%s 4,4 ' "$x" "$y" "$((x + w))" "$((y + h))"
    done
    printf 'stroke %s stroke-width 26 stroke-linecap round ' "$rim"
    printf 'line %s,%s %s,%s ' "$handle_x1" "$handle_y1" "$handle_x2" "$handle_y2"
    printf 'stroke-width 14 fill %s fill-opacity 0.8 ' "$glass"
    printf 'circle %s,%s %s,%s ' "$lens_cx" "$lens_cy" "$lens_cx" "$((lens_cy - lens_r))"
}

make_svg >foliolens.svg

# Draw once at four times the largest size, then scale down for every size.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$convert_bin" -size 1024x1024 xc:none -draw "scale 4,4 $(draw_commands)" "$work/master.png"

for size in 16 22 24 32 48 64 128 256; do
    "$convert_bin" "$work/master.png" -filter Lanczos -resize "${size}x${size}" \
        -strip -depth 8 -define png:color-type=6 "foliolens-$size.png"
done

# The Windows-style icon: 16 and 32 pixels at 16 colours, 16, 32 and 48 at 256 colours
# and at 24-bit colour, each with a 1-bit transparency mask. ImageMagick's own icon
# writer always stores 32-bit images once there is transparency, so ImageMagick only
# reduces the colours here and a few lines of Python lay out the icon file.
frames=()
for frame in 16:4 32:4 16:8 32:8 48:8 16:24 32:24 48:24; do
    size=${frame%:*} bits=${frame#*:}
    colours=()
    case $bits in
    4) colours=(-dither None -colors 15) ;; # one entry stays free for masked pixels
    8) colours=(-dither None -colors 255) ;;
    esac
    base="$work/$size-$bits"
    "$convert_bin" "foliolens-$size.png" -background white -alpha remove -alpha off \
        "${colours[@]}" -depth 8 "rgb:$base.rgb"
    "$convert_bin" "foliolens-$size.png" -alpha extract -threshold 50% -depth 8 "gray:$base.mask"
    frames+=("$size:$bits:$base")
done

python3 - foliolens.ico "${frames[@]}" <<'PY'
import struct
import sys


def row_padded(data):
    return data + b"\0" * (-len(data) % 4)


def frame_image(size, bits, base):
    rgb = open(base + ".rgb", "rb").read()
    mask = open(base + ".mask", "rb").read()
    pixels = [rgb[i * 3:i * 3 + 3] if mask[i] else b"\0\0\0" for i in range(size * size)]
    palette = []
    if bits in (4, 8):
        palette = sorted(set(pixels))
        if len(palette) > 1 << bits:
            sys.exit(f"{size}px at {bits} bits: {len(palette)} colours")
        palette += [b"\0\0\0"] * ((1 << bits) - len(palette))
    index = {colour: i for i, colour in enumerate(palette)}
    xor = b""
    andmask = b""
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        row = pixels[y * size:(y + 1) * size]
        if bits == 24:
            xor += row_padded(b"".join(p[::-1] for p in row))  # BGR
        elif bits == 8:
            xor += row_padded(bytes(index[p] for p in row))
        else:
            xor += row_padded(bytes((index[row[x]] << 4) | index[row[x + 1]]
                                    for x in range(0, size, 2)))
        m = mask[y * size:(y + 1) * size]
        andmask += row_padded(bytes(
            sum((0 if m[x + b] else 1) << (7 - b) for b in range(8) if x + b < size)
            for x in range(0, size, 8)))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(andmask), 0, 0, len(palette), 0)
    quads = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    return header + quads + xor + andmask


out, frames = sys.argv[1], sys.argv[2:]
images = []
for frame in frames:
    size, bits, base = frame.split(":", 2)
    images.append((int(size), int(bits), frame_image(int(size), int(bits), base)))
data = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, bits, image in images:
    colour_count = 16 if bits == 4 else 0
    data += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(image), offset)
    offset += len(image)
data += b"".join(image for _, _, image in images)
open(out, "wb").write(data)
PY

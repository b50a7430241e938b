#!/usr/bin/python3
"""Reference pictures for the PNG, WebP and HEIF tests (Debian's /usr/bin/python3 with Pillow).

  picture_reference.py png-matrix DIR       every PNG colour type and bit depth, plain and Adam7,
                                            with and without tRNS, written by the small encoder
                                            below; prints one "file<TAB>width<TAB>height" line each
  picture_reference.py over-white DIR F...  Pillow's pixels of each file composed over white into
                                            DIR/<index>.rgb (R, G, B rows, top first); prints
                                            "index<TAB>width<TAB>height" or "index<TAB>error"
  picture_reference.py sources DIR          opaque.png, alpha.png, frame1.png, frame2.png: the
                                            pictures the WebP and HEIF files are made from
  picture_reference.py heif-turn IN OUT N   IN with an 'irot' property of N quarter turns
                                            (anticlockwise) added to its primary item

Composing: c * a + 255 * (255 - a), plus 127, over 255, as the program shows an icon. Pillow
keeps only the high byte of a 16-bit sample, as the program does. Where Pillow's own handling of
a tRNS colour key is off, the key is applied here: for 1-, 2- and 4-bit grey it compares the
scaled sample with the unscaled key, and for 16-bit RGB its 8-bit pixel with the 16-bit key.
"""
import random
import struct
import sys
import zlib

from PIL import Image


def blend(c, a):
    return (c * a + 255 * (255 - a) + 127) // 255


def over_white(path):
    im = Image.open(path)
    im.load()
    header = open(path, "rb").read(32)
    depth = header[24] if header[:8] == b"\x89PNG\r\n\x1a\n" else 8
    key = im.info.get("transparency")
    w, h = im.size
    out = bytearray()
    if im.mode in ("I", "I;16", "I;16B"):  # 16-bit grey
        for v in im.getdata():
            a = 0 if key is not None and v == key else 255
            g = blend(v >> 8, a)
            out += bytes((g, g, g))
    elif im.mode in ("1", "L") and isinstance(key, int):
        key8 = key * 255 // ((1 << depth) - 1) if depth < 8 else key
        for v in im.getdata():
            g = blend(v, 0 if v == key8 else 255)
            out += bytes((g, g, g))
    elif im.mode == "RGB" and isinstance(key, tuple):
        key8 = tuple(k >> 8 for k in key) if depth == 16 else key
        for p in im.getdata():
            a = 0 if p == key8 else 255
            out += bytes(blend(c, a) for c in p)
    else:
        for r, g, b, a in im.convert("RGBA").getdata():
            out += bytes((blend(r, a), blend(g, a), blend(b, a)))
    return w, h, bytes(out)


# ---- a small PNG encoder, so that every colour type and depth is covered ----

ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def pack_row(pixels, depth):
    if depth >= 8:
        fmt = ">B" if depth == 8 else ">H"
        return b"".join(struct.pack(fmt, s) for p in pixels for s in p)
    bits = "".join(format(s, "0%db" % depth) for p in pixels for s in p)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def encode_png(rows, colour_type, depth, interlace, palette=None, trns=None):
    h, w = len(rows), len(rows[0])
    raw = bytearray()
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    for x0, y0, dx, dy in passes:
        sub = [row[x0::dx] for row in rows[y0::dy]]
        if not sub or not sub[0]:
            continue
        for row in sub:
            raw += b"\x00" + pack_row(row, depth)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, interlace))
    if palette:
        out += chunk(b"PLTE", bytes(c for rgb in palette for c in rgb))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    return out + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def png_matrix(folder):
    rnd = random.Random(22)
    w, h = 13, 11  # odd, so Adam7 leaves passes short and bits spill into a last byte
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
    depths = {0: (1, 2, 4, 8, 16), 2: (8, 16), 3: (1, 2, 4, 8), 4: (8, 16), 6: (8, 16)}
    made = []
    for colour_type, ds in depths.items():
        for depth in ds:
            top = (1 << depth) - 1
            for interlace in (0, 1):
                for with_key in (False, True) if colour_type in (0, 2, 3) else (False,):
                    rows = [[tuple(rnd.randint(0, top) for _ in range(channels[colour_type]))
                             for _ in range(w)] for _ in range(h)]
                    palette = trns = None
                    if colour_type == 3:
                        n = min(1 << depth, 256)
                        palette = [tuple(rnd.randint(0, 255) for _ in range(3)) for _ in range(n)]
                        if with_key:  # fewer alphas than colours: the rest stay opaque
                            trns = bytes(rnd.choice((0, 255, rnd.randint(1, 254))) for _ in range(max(1, n // 2)))
                    elif with_key:
                        key = rows[1][2]
                        if depth == 16:
                            # Keep other pixels off the key's high bytes: Pillow sees only those.
                            rows = [[p if p == key or tuple(s >> 8 for s in p) != tuple(s >> 8 for s in key)
                                     else tuple((s + 256) % 65536 for s in p) for p in row] for row in rows]
                        for y, x in ((0, 0), (5, 7), (10, 12)):
                            rows[y][x] = key
                        trns = b"".join(struct.pack(">H", s) for s in key)
                    name = "ct%d-%02dbit-%s%s.png" % (colour_type, depth, "adam7" if interlace else "plain",
                                                      "-trns" if with_key else "")
                    with open("%s/%s" % (folder, name), "wb") as f:
                        f.write(encode_png(rows, colour_type, depth, interlace, palette, trns))
                    made.append(name)
    for name in made:
        print("%s\t%d\t%d" % (name, w, h))


def write_over_white(folder, files):
    for i, path in enumerate(files):
        try:
            w, h, rgb = over_white(path)
        except Exception:
            print("%d\terror" % i)
            continue
        with open("%s/%d.rgb" % (folder, i), "wb") as f:
            f.write(rgb)
        print("%d\t%d\t%d" % (i, w, h))


def sources(folder):
    w, h = 64, 48
    opaque = Image.new("RGB", (w, h))
    opaque.putdata([(4 * x, 5 * y, 255 - 3 * x) for y in range(h) for x in range(w)])
    for x in range(8):  # a dark block in the top-left corner shows which way is up
        for y in range(8):
            opaque.putpixel((x, y), (0, 0, 0))
    opaque.save("%s/opaque.png" % folder)
    alpha = opaque.convert("RGBA")
    alpha.putdata([(r, g, b, 0 if x >= 48 else (128 if y >= 32 else 255))
                   for (r, g, b, _), (x, y) in zip(alpha.getdata(), ((x, y) for y in range(h) for x in range(w)))])
    alpha.save("%s/alpha.png" % folder)
    Image.new("RGBA", (w, h), (200, 30, 40, 255)).save("%s/frame1.png" % folder)
    Image.new("RGBA", (w, h), (10, 200, 90, 255)).save("%s/frame2.png" % folder)


# ---- HEIF boxes: just enough to add a rotation to the primary item ----

def boxes(data, start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if size < 8 or pos + size > end:
            raise ValueError("box sizes this script does not handle")
        yield kind, pos, size
        pos += size


def find(data, start, end, kind):
    for k, pos, size in boxes(data, start, end):
        if k == kind:
            return pos, size
    raise ValueError("no %s box" % kind)


def heif_turn(src, dst, quarter_turns):
    data = bytearray(open(src, "rb").read())
    meta, meta_size = find(data, 0, len(data), b"meta")
    body = meta + 12  # a full box: version and flags
    pitm, _ = find(data, body, meta + meta_size, b"pitm")
    primary = struct.unpack(">H", data[pitm + 12:pitm + 14])[0]
    iprp, iprp_size = find(data, body, meta + meta_size, b"iprp")
    ipco, ipco_size = find(data, iprp + 8, iprp + iprp_size, b"ipco")
    ipma, ipma_size = find(data, iprp + 8, iprp + iprp_size, b"ipma")
    index = 1 + sum(1 for _ in boxes(data, ipco + 8, ipco + ipco_size))
    version, flags = data[ipma + 8], int.from_bytes(data[ipma + 9:ipma + 12], "big")
    if flags & 1 or index > 127:
        raise ValueError("wide property indices are not handled")
    # The association goes to the primary item's entry.
    pos = ipma + 16
    count = struct.unpack(">I", data[ipma + 12:ipma + 16])[0]
    for _ in range(count):
        item = struct.unpack(">H" if version == 0 else ">I", data[pos:pos + (2 if version == 0 else 4)])[0]
        pos += 2 if version == 0 else 4
        n = data[pos]
        if item == primary:
            data[pos] = n + 1
            data[pos + 1 + n:pos + 1 + n] = bytes((0x80 | index,))
            break
        pos += 1 + n
    else:
        raise ValueError("the primary item has no properties")
    irot = struct.pack(">I4sB", 9, b"irot", quarter_turns & 3)
    data[ipco + ipco_size:ipco + ipco_size] = irot  # ipco comes before ipma
    grow = len(irot) + 1
    for pos, delta in ((meta, grow), (iprp, grow), (ipco, len(irot))):
        struct.pack_into(">I", data, pos, struct.unpack(">I", data[pos:pos + 4])[0] + delta)
    ipma += len(irot)
    struct.pack_into(">I", data, ipma, ipma_size + 1)
    # Item data after the meta box moved by as much.
    iloc, _ = find(data, body, meta + meta_size + grow, b"iloc")
    version = data[iloc + 8]
    sizes = data[iloc + 12], data[iloc + 13]
    offset_size, length_size, base_size = sizes[0] >> 4, sizes[0] & 15, sizes[1] >> 4
    index_size = sizes[1] & 15 if version in (1, 2) else 0
    pos = iloc + 14
    items = struct.unpack(">H", data[pos:pos + 2])[0]
    pos += 2

    def number(at, size):
        return int.from_bytes(data[at:at + size], "big")

    for _ in range(items):
        pos += 2  # item ID
        method = 0
        if version in (1, 2):
            method = number(pos, 2) & 15
            pos += 2
        pos += 2  # data reference index
        base_at = pos
        base = number(pos, base_size)
        pos += base_size
        extents = number(pos, 2)
        pos += 2
        for _ in range(extents):
            pos += index_size
            if method == 0 and base_size == 0:
                data[pos:pos + offset_size] = (number(pos, offset_size) + grow).to_bytes(offset_size, "big")
            pos += offset_size + length_size
        if method == 0 and base_size:
            data[base_at:base_at + base_size] = (base + grow).to_bytes(base_size, "big")
    open(dst, "wb").write(bytes(data))


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "png-matrix":
        png_matrix(sys.argv[2])
    elif command == "over-white":
        write_over_white(sys.argv[2], sys.argv[3:])
    elif command == "sources":
        sources(sys.argv[2])
    elif command == "heif-turn":
        heif_turn(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    else:
        sys.exit("unknown command " + command)

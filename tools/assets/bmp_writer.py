"""Encodes uncompressed palette BMP files, the one picture format the intro
embeds.  Shared by the asset generators so that every picture gets the same
plain layout: 14-byte file header, 40-byte BITMAPINFOHEADER, the palette,
then the pixel rows bottom-up, each padded to a multiple of 4 bytes."""

import struct

FILE_HEADER_SIZE = 14
INFO_HEADER_SIZE = 40
PIXELS_PER_METRE = 2835  # 72 dpi; decoders ignore it, but 0 looks like a broken file


def encode_bmp(rows, palette, bits_per_pixel):
    """Returns the BMP bytes of a picture given as rows of palette indices,
    top row first.  palette is a list of (red, green, blue) triples."""
    if bits_per_pixel not in (1, 4, 8):
        raise ValueError("bits per pixel must be 1, 4 or 8")
    if not palette or len(palette) > 1 << bits_per_pixel:
        raise ValueError("palette does not fit %d bits per pixel" % bits_per_pixel)
    height = len(rows)
    width = len(rows[0]) if rows else 0
    if width == 0:
        raise ValueError("empty picture")
    pixels_per_byte = 8 // bits_per_pixel
    row_bytes = (width * bits_per_pixel + 7) // 8
    stride = (row_bytes + 3) & ~3

    pixel_data = bytearray()
    for row in reversed(rows):
        if len(row) != width:
            raise ValueError("rows differ in width")
        packed = bytearray(stride)
        for x, index in enumerate(row):
            if not 0 <= index < len(palette):
                raise ValueError("pixel index %d outside the palette" % index)
            shift = 8 - bits_per_pixel * (x % pixels_per_byte + 1)
            packed[x // pixels_per_byte] |= index << shift
        pixel_data += packed

    palette_data = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = FILE_HEADER_SIZE + INFO_HEADER_SIZE + len(palette_data)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixel_data), 0, 0, offset)
    info_header = struct.pack("<IiiHHIIiiII", INFO_HEADER_SIZE, width, height, 1,
                              bits_per_pixel, 0, len(pixel_data), PIXELS_PER_METRE,
                              PIXELS_PER_METRE, len(palette), 0)
    return file_header + info_header + palette_data + bytes(pixel_data)


def write_bmp(path, rows, palette, bits_per_pixel):
    with open(path, "wb") as out:
        out.write(encode_bmp(rows, palette, bits_per_pixel))

"""The chunks of an AVI file's "movi" list, read as far as the file goes: a clip being written
or cut off has no index, and its chunks are what a player can still find."""

import struct



def is_picture(chunk):
    """A picture: compressed ("dc") or, as the muxer names Motion-JPEG's, "db"."""
    return chunk[2:] in (b"dc", b"db")


def is_sound(chunk):
    return chunk[2:] == b"wb"


def movi_chunks(path):
    """The ids of the chunks in the file's "movi" list, in the order they are written, up to
    the last one that is whole."""
    with open(path, "rb") as clip:
        data = clip.read()
    if data[:4] != b"RIFF" or data[8:12] != b"AVI ":
        return []
    position = _movi_start(data)
    chunks = []
    while position is not None and position + 8 <= len(data):
        chunk, size = data[position:position + 4], struct.unpack("<I", data[position + 4:position + 8])[0]
        end = position + 8 + size + (size & 1)
        if chunk == b"LIST":
            position += 12  # a list inside "movi" (an "rec " list): its chunks follow
            continue
        if end > len(data) or not chunk[:2].isdigit():
            break
        chunks.append(chunk)
        position = end
    return chunks


def _movi_start(data):
    """Where the first chunk of the first "movi" list begins, or None."""
    position = 12
    while position + 12 <= len(data):
        chunk, size = data[position:position + 4], struct.unpack("<I", data[position + 4:position + 8])[0]
        if chunk == b"LIST" and data[position + 8:position + 12] == b"movi":
            return position + 12
        position += 8 + size + (size & 1)
    return None

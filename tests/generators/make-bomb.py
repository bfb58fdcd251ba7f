#!/usr/bin/env python3
# Writes tests/data/inbound/bomb.qv6 (or the file named): a packed exchange file of a few
# kilobytes whose record header announces 4 GiB - 1 bytes and whose bzip2 stream (block size 5)
# unpacks to exactly that many (the header, then zero bytes); after the stream, the u32 trailer
# with its length.
import bz2, os, struct, sys

total = 0xFFFFFFFF
header = struct.pack('<IHIIII', 0x00535651, 100, 22, 22, total, 0)
packer = bz2.BZ2Compressor(5)
stream = packer.compress(header)
chunk = bytes(1 << 24)
left = total - len(header)
while left > 0:
    piece = chunk if left >= len(chunk) else bytes(left)
    stream += packer.compress(piece)
    left -= len(piece)
stream += packer.flush()
default = os.path.join(os.path.dirname(__file__), '..', 'tests', 'data', 'inbound', 'bomb.qv6')
with open(sys.argv[1] if len(sys.argv) > 1 else default, 'wb') as out:
    out.write(stream + struct.pack('<I', len(stream)))

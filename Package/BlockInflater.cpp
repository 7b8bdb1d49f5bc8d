// Both one-block inflaters; the build chooses the one InflateBlock calls
// (VM_BLOCK_INFLATER_LIBDEFLATE).
#include "BlockInflater.h"

#include <cstring>
#include <libdeflate.h>
#include <zlib.h>

int InflateBlockWithZlib(const uint8_t* stream, size_t length, uint8_t* out, size_t size, uint32_t* adler)
{
    if (length > 0xFFFFFFFFu || size > 0xFFFFFFFFu)
        return BlockBadStream;
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK)
        return BlockNoMemory;
    Bytef none = 0;
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(length);
    z.next_out = out ? out : &none;
    z.avail_out = static_cast<uInt>(size);
    int code = inflate(&z, Z_FINISH);
    uLong produced = z.total_out;
    uLong sum = z.adler;
    inflateEnd(&z);
    if (code == Z_MEM_ERROR)
        return BlockNoMemory;
    if (code != Z_STREAM_END || produced != size)
        return BlockBadStream;
    if (adler)
        *adler = static_cast<uint32_t>(sum);
    return BlockInflated;
}

int InflateBlockWithLibdeflate(const uint8_t* stream, size_t length, uint8_t* out, size_t size, uint32_t* adler)
{
    // The decoder's state is one block of some 11 KB that it fills as it
    // goes: allocating it per stream costs next to nothing.
    libdeflate_decompressor* decoder = libdeflate_alloc_decompressor();
    if (!decoder)
        return BlockNoMemory;
    size_t used = 0, produced = 0;
    uint8_t none = 0;
    libdeflate_result result =
        libdeflate_zlib_decompress_ex(decoder, stream, length, out ? out : &none, size, &used, &produced);
    libdeflate_free_decompressor(decoder);
    if (result != LIBDEFLATE_SUCCESS || produced != size || used < 6)
        return BlockBadStream;
    // The stream's trailer is the content's Adler-32 (libdeflate checked
    // that it matches), big-endian in its last four bytes.
    if (adler) {
        const uint8_t* trailer = stream + used - 4;
        *adler = (static_cast<uint32_t>(trailer[0]) << 24) | (static_cast<uint32_t>(trailer[1]) << 16) |
                 (static_cast<uint32_t>(trailer[2]) << 8) | trailer[3];
    }
    return BlockInflated;
}

int InflateBlock(const uint8_t* stream, size_t length, uint8_t* out, size_t size, uint32_t* adler)
{
#ifdef VM_BLOCK_INFLATER_LIBDEFLATE
    return InflateBlockWithLibdeflate(stream, length, out, size, adler);
#else
    return InflateBlockWithZlib(stream, length, out, size, adler);
#endif
}

const char* BlockInflaterName()
{
#ifdef VM_BLOCK_INFLATER_LIBDEFLATE
    return "libdeflate";
#else
    return "zlib";
#endif
}

// StreamCompressor on zlib's compress2: the Windows builds' encoder.
#include "StreamCompressor.h"

#include <zlib.h>

StreamCompressor::StreamCompressor(int level) : level(level), encoder(nullptr)
{
    // zlib's most is 9; libdeflate's 10 to 12 ask for no less.
    if (this->level < CompressionLevelLeast)
        this->level = CompressionLevelLeast;
    if (this->level > 9)
        this->level = 9;
}

StreamCompressor::~StreamCompressor() {}

int StreamCompressor::Compress(const void* bytes, size_t length, std::vector<uint8_t>* stream)
{
    stream->clear();
    // uLong is 32 bits on Windows: one call takes at most 4 GB.
    if (static_cast<uLong>(length) != length)
        return CompressTooLarge;
    uLongf bound = compressBound(static_cast<uLong>(length));
    if (bound < length)
        return CompressTooLarge;
    stream->resize(bound);
    int z = compress2(stream->data(), &bound, static_cast<const Bytef*>(bytes), static_cast<uLong>(length), level);
    if (z != Z_OK) {
        stream->clear();
        return z == Z_MEM_ERROR ? CompressNoMemory : CompressFailed;
    }
    stream->resize(bound);
    return CompressOk;
}

const char* CompressorName()
{
    return "zlib";
}

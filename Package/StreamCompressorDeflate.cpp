// StreamCompressor on libdeflate: the native tool's encoder.
#include "StreamCompressor.h"

#include <libdeflate.h>

static int ClampedLevel(int level)
{
    return level < CompressionLevelLeast ? CompressionLevelLeast
                                         : (level > CompressionLevelMost ? CompressionLevelMost : level);
}

StreamCompressor::StreamCompressor(int level) : level(ClampedLevel(level)), encoder(nullptr) {}

StreamCompressor::~StreamCompressor()
{
    if (encoder)
        libdeflate_free_compressor(static_cast<libdeflate_compressor*>(encoder));
}

int StreamCompressor::Compress(const void* bytes, size_t length, std::vector<uint8_t>* stream)
{
    stream->clear();
    // Set up on first use, so that a thread that gets no file allocates nothing.
    if (!encoder)
        encoder = libdeflate_alloc_compressor(level);
    if (!encoder)
        return CompressNoMemory;
    libdeflate_compressor* c = static_cast<libdeflate_compressor*>(encoder);
    size_t bound = libdeflate_zlib_compress_bound(c, length);
    if (bound < length)
        return CompressTooLarge;   // the bound wrapped around
    stream->resize(bound);
    size_t produced = libdeflate_zlib_compress(c, bytes, length, stream->data(), bound);
    if (produced == 0) {
        // The bound always fits; nothing else makes libdeflate give up.
        stream->clear();
        return CompressFailed;
    }
    stream->resize(produced);
    return CompressOk;
}

const char* CompressorName()
{
    return "libdeflate";
}

// Inflating a whole zlib stream into a block of its known size: the reader's
// one-block path (ExtractPackageEntry, ExtractPackageRecordInto), where the
// stream lies in one window of the file.  Two decoders stand behind this
// interface, as two encoders stand behind StreamCompressor.h: zlib's inflate
// and libdeflate's, which needs the whole stream and the whole output at
// once and is much faster for it (bench/inflate_bench).  Both check the
// stream's own Adler-32 trailer and give the content's Adler-32, so the
// caller compares it with the entry's checksum without reading the content
// again.  The build chooses the one InflateBlock uses; both exist in every
// build for the benchmark.
#ifndef VELLMARK_BLOCK_INFLATER_H
#define VELLMARK_BLOCK_INFLATER_H

#include <cstddef>
#include <cstdint>

// Results of the inflaters:
enum {
    BlockInflated = 0,     // exactly `size` bytes came out and the stream ended; *adler is set
    BlockNoMemory = 1,     // the decoder's state could not be allocated
    BlockBadStream = 2     // the stream is damaged, does not end within `length`, or inflates
                           // to another size than `size`
};

// Inflates the zlib stream of at most `length` bytes at `stream` into the
// `size` bytes at `out` (bytes after the stream's end are not read); the
// content's Adler-32 goes to *adler (may be null).
int InflateBlock(const uint8_t* stream, size_t length, uint8_t* out, size_t size, uint32_t* adler = nullptr);
int InflateBlockWithZlib(const uint8_t* stream, size_t length, uint8_t* out, size_t size, uint32_t* adler = nullptr);
int InflateBlockWithLibdeflate(const uint8_t* stream, size_t length, uint8_t* out, size_t size,
                               uint32_t* adler = nullptr);

// "libdeflate" or "zlib": the decoder InflateBlock uses.
const char* BlockInflaterName();

#endif

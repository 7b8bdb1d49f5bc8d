// Whole-buffer compression into zlib streams (RFC 1950: a two-byte header,
// DEFLATE data and the Adler-32 trailer), the form of every stream in a
// package.  The writer sees only this interface; the build chooses the
// encoder behind it: libdeflate for the native tool (several times faster
// than zlib for the same size), zlib's compress2 for the Windows builds.
// Both write ordinary zlib streams, which the reader inflates with zlib
// (`inflate` for the entries, `uncompress` for the directory).
#ifndef VELLMARK_STREAM_COMPRESSOR_H
#define VELLMARK_STREAM_COMPRESSOR_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Levels run from 0 (stored blocks only) to 12 (smallest output).  They are
// libdeflate's own levels; zlib has 0 to 9, and takes 10 to 12 as 9.
constexpr int CompressionLevelLeast = 0;
constexpr int CompressionLevelMost = 12;
// The default of `vellmark pack`, measured with bench/pack_bench against
// makensis (zlib at its level 9, which also stores files of the same content
// once, as the writer does) on four trees of 84 to 264 MB: the generated
// mixed product, real text (this project's sources and docs, then
// /usr/include), Windows binaries and Linux binaries.  6 packs the text tree
// 0.38% larger than makensis; 7 is no larger on any tree (0.09% smaller on
// the text, 1.1 to 2.9% on the others), 6.6 to 14 times as fast on the mix
// and the binaries but 4 to 4.6 times on the text (6,500 small files, of
// which makensis compresses only the 54 MB that are not duplicates); 8
// takes twice as long again for 0.1 to 0.5% less.  zlib in the Windows builds
// takes it as its own level 7.
constexpr int CompressionLevelDefault = 7;

// Results of StreamCompressor::Compress:
enum {
    CompressOk = 0,          // *stream holds the whole zlib stream
    CompressNoMemory = 1,    // the encoder or the output could not be allocated
    CompressTooLarge = 2,    // the input is larger than the encoder takes in one call
    CompressFailed = 3       // the encoder reported any other failure
};

// One encoder at one level.  An instance is used by one thread at a time;
// each of the writer's threads keeps its own, so its state is set up once
// and not per file.
class StreamCompressor {
public:
    // `level` outside 0 to 12 is taken as the nearest end.
    explicit StreamCompressor(int level);
    ~StreamCompressor();
    StreamCompressor(const StreamCompressor&) = delete;
    StreamCompressor& operator=(const StreamCompressor&) = delete;

    // Compresses `length` bytes into *stream, which is resized to the stream's
    // length.  The same input gives the same bytes at the same level, on any
    // thread and in any order.  Returns a code above; on failure *stream is
    // left empty.
    int Compress(const void* bytes, size_t length, std::vector<uint8_t>* stream);

private:
    int level;
    void* encoder;   // libdeflate's compressor; unused with zlib
};

// "libdeflate" or "zlib": the encoder this build uses, for --help and reports.
const char* CompressorName();

#endif

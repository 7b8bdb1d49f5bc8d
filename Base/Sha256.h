// SHA-256 (FIPS 180-4): the digest that ties an install log to its
// registration, so that a log someone changed afterwards is not played back.
#ifndef VELLMARK_SHA256_H
#define VELLMARK_SHA256_H

#include <cstddef>
#include <cstdint>

constexpr size_t Sha256Size = 32;            // bytes of a digest
constexpr size_t Sha256TextSize = 2 * 32 + 1; // its small-letter hex text and a terminator

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    // The digest of everything given; the object is then spent.
    void Finish(uint8_t (&digest)[Sha256Size]);
    // The same as 64 small hex digits.
    void FinishText(char (&text)[Sha256TextSize]);

private:
    void Compress(const uint8_t* block);

    uint32_t state_[8];
    uint64_t length_;       // bytes given so far
    uint8_t buffer_[64];
    size_t buffered_;
};

#endif

// Names that collide in the package reader's lookup hash, as a hostile
// package would choose them (used by the package tests and package_bench).
//
// The reader hashes (parent, name) with FNV-1a over the ASCII-folded name,
// starting from the offset basis XORed with the parent (Package.cpp,
// KeyHash).  Multiplication and XOR never carry from high bits to low ones, so
// the low `bits` bits of the hash depend only on the low bits of each step.
// Here every name's hash has those bits 0: the last character is solved for,
// and the one before it searched for until the bits above that byte agree.
#ifndef VELLMARK_COLLIDING_NAMES_H
#define VELLMARK_COLLIDING_NAMES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AnsiText.h"

namespace testimage {

constexpr uint32_t FnvOffsetBasis = 2166136261u;
constexpr uint32_t FnvPrime = 16777619u;

// A byte usable as the last or second-last character: it must hash as itself
// (the reader's fold leaves it alone), end no name early (NUL) and split no
// path (backslash).
inline bool CollidingNameByte(uint32_t c)
{
    return c != 0 && c < 256 && c != '\\' && AnsiFold(static_cast<unsigned char>(c)) == c;
}

// `count` distinct names (distinct also when letter case is ignored) under
// `parent` whose hashes agree in their low `bits` bits (bits from 9 to 31).
inline std::vector<std::string> MakeCollidingNames(size_t count, int32_t parent, int bits)
{
    const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    static const char Alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::vector<std::string> names;
    names.reserve(count);
    for (uint32_t serial = 0; names.size() < count; ++serial) {
        // A prefix of its own per serial number keeps the names distinct.
        std::string prefix = "n";
        for (uint32_t n = serial, k = 0; k < 5; ++k, n /= 36)
            prefix += Alphabet[n % 36];
        uint32_t state = (FnvOffsetBasis ^ static_cast<uint32_t>(parent)) * FnvPrime;
        for (unsigned char c : prefix)
            state = (state ^ c) * FnvPrime;
        for (uint32_t second = 1; second < 256 && names.size() < count; ++second) {
            if (!CollidingNameByte(second))
                continue;
            // The hash's low bits are 0 exactly when those of the state
            // before the last multiply are (the prime is odd): the last byte
            // must clear them, so the bits above it must be clear already.
            uint32_t last = ((state ^ second) * FnvPrime) & mask;
            if (!CollidingNameByte(last))
                continue;
            names.push_back(prefix + static_cast<char>(second) + static_cast<char>(last));
        }
    }
    return names;
}

}  // namespace testimage

#endif

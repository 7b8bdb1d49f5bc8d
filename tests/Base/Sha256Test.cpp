// SHA-256 against the published test vectors, and the same digest whatever
// the pieces the message comes in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Sha256.h"

namespace {

std::string Digest(const std::string& message)
{
    Sha256 hash;
    hash.Update(message.data(), message.size());
    char text[Sha256TextSize];
    hash.FinishText(text);
    return text;
}

TEST(Sha256, PublishedVectors)
{
    struct Case {
        std::string message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Digest(c.message), c.digest) << c.message.size() << " bytes";
}

TEST(Sha256, PiecesGiveTheSameDigest)
{
    // Lengths around the block (64) and the padding's boundary (56).
    for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 200u}) {
        std::string message;
        for (size_t i = 0; i < length; ++i)
            message += static_cast<char>('a' + i % 26);
        for (size_t piece : {1u, 3u, 63u, 64u}) {
            Sha256 hash;
            for (size_t at = 0; at < length; at += piece)
                hash.Update(message.data() + at, std::min(piece, length - at));
            char text[Sha256TextSize];
            hash.FinishText(text);
            EXPECT_EQ(text, Digest(message)) << length << " bytes in pieces of " << piece;
        }
    }
}

}  // namespace

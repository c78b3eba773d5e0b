#include "backup/FileDigest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(std::size_t size) {
    std::vector<unsigned char> b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<unsigned char>(i * 131 + 7);
    return b;
}

// A copy's digest is stored in the journal: it must not change with the loop that makes it
// (the wide one where the processor has it), nor with the pieces a copy is read in.
TEST(FileDigestTest, ReadInAnyPiecesGivesTheDigestOfTheWhole) {
    EXPECT_EQ(DigestOf(nullptr, 0), (FileDigest{0x6001c324468d497fULL, 0x99aa06d3014798d8ULL}));
    const std::vector<unsigned char> mb = Bytes(1 << 20);
    EXPECT_EQ(DigestOf(mb.data(), mb.size()), (FileDigest{0x6f7c82505ffbc516ULL, 0x693782642cdfa231ULL}));
    for (const std::size_t size : {0u, 1u, 16u, 17u, 128u, 129u, 240u, 241u, 1023u, 1024u, 1025u, 100000u, 3u << 20}) {
        const std::vector<unsigned char> bytes = Bytes(size);
        const FileDigest whole = DigestOf(bytes.data(), bytes.size());
        for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{1024}, std::size_t{256} << 10}) {
            if (piece == 1 && size > 100000) continue;
            FileDigester d;
            for (std::size_t at = 0; at < size; at += piece) d.Update(bytes.data() + at, std::min(piece, size - at));
            EXPECT_EQ(d.Finish(), whole) << size << " bytes in pieces of " << piece;
        }
    }
}

}  // namespace

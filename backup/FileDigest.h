// A 128-bit digest of a file's bytes (XXH3-128): two copies count as identical when their
// sizes and digests are equal. Not a defence against files made to collide on purpose.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

struct FileDigest {
    uint64_t low = 0;
    uint64_t high = 0;
    bool operator==(const FileDigest& o) const { return low == o.low && high == o.high; }
    bool operator!=(const FileDigest& o) const { return !(*this == o); }
};

// Feeds the bytes of one file in pieces of any size.
class FileDigester {
public:
    FileDigester();
    ~FileDigester();
    FileDigester(const FileDigester&) = delete;
    FileDigester& operator=(const FileDigester&) = delete;
    void Update(const void* data, std::size_t size);
    FileDigest Finish() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

FileDigest DigestOf(const void* data, std::size_t size);

// The digest's loop over 32-byte vectors, where the build has one (x86-64).
#pragma once
#include <cstddef>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VARNHOLT_DIGEST_WIDE 1
// XXH3_128bits_update on `state` (an XXH3_state_t) with the AVX2 loop.
void Xxh3UpdateWide(void* state, const void* data, std::size_t size);
#endif

// XXH3's AVX2 loop, in a unit of its own built for AVX2: FileDigester calls it only on a
// processor (and a system) that has AVX2. XXH3 gives the same digest whichever loop it runs.
#define XXH_INLINE_ALL
#define XXH_VECTOR XXH_AVX2
#include <xxhash.h>

#include "FileDigestWide.h"

void Xxh3UpdateWide(void* state, const void* data, std::size_t size) {
    XXH3_128bits_update(static_cast<XXH3_state_t*>(state), data, size);
}

#include "platform/posix/memory_policy.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pelmora::platform::posix {

namespace {

constexpr int kLargeBlock = 128 * 1024;

}  // namespace

void return_large_blocks_to_the_system() {
#if defined(__GLIBC__)
  // Setting either limit explicitly turns glibc's raising of both off.
  mallopt(M_MMAP_THRESHOLD, kLargeBlock);
  mallopt(M_TRIM_THRESHOLD, kLargeBlock);
#endif
}

}  // namespace pelmora::platform::posix

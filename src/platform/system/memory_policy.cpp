#include "platform/system/memory_policy.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace pelmora::platform::posix {

namespace {

constexpr int kArenas = 2;

}  // namespace

void share_allocation_arenas() {
#if defined(M_ARENA_MAX)
  mallopt(M_ARENA_MAX, kArenas);
#endif
}

}  // namespace pelmora::platform::posix

// A reader's control block on its own alignment inside a plain allocation:
// the allocation holds alignof(T) - 1 bytes more than the block needs, and
// the block starts at the first address past its start so aligned.
#ifndef VOKDSP_COMMON_ALIGNEDBLOCK_H
#define VOKDSP_COMMON_ALIGNEDBLOCK_H

#include <stdint.h>

namespace vokdsp {

template <typename T>
inline T *lpFnAlignedIn(void *lpAllocation) {
    const uintptr_t dw = reinterpret_cast<uintptr_t>(lpAllocation);
    return reinterpret_cast<T *>((dw + alignof(T) - 1) & ~(alignof(T) - 1));
}

}  // namespace vokdsp

#endif

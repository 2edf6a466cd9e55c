#include "AllocationHooks.h"

#include <dlfcn.h>
#include <stddef.h>
#include <string.h>

namespace {

using MallocFn = void *(*)(size_t);
using CallocFn = void *(*)(size_t, size_t);

// dlsym may allocate while the real functions are being looked up; those few
// early requests are served from a static arena and never freed.
alignas(16) unsigned char abBootArena[4096];
size_t cbBootUsed = 0;
bool fLookingUp = false;
MallocFn lpfnRealMalloc = nullptr;
CallocFn lpfnRealCalloc = nullptr;

int nFailAfter = -1;
int nAllocations = 0;

void *lpFnBootAllocate(size_t cb) {
    cb = (cb + 15) & ~size_t{15};
    if (cbBootUsed + cb > sizeof abBootArena) return nullptr;
    void *lp = abBootArena + cbBootUsed;
    cbBootUsed += cb;
    return lp;  // static storage: already zero
}

bool fFnLookUpReal() {
    if (lpfnRealMalloc != nullptr) return true;
    if (fLookingUp) return false;
    fLookingUp = true;
    lpfnRealMalloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
    lpfnRealCalloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
    fLookingUp = false;
    return true;
}

// Counts the request; true when it is the one chosen to fail.
bool fFnFailThisOne() {
    ++nAllocations;
    if (nFailAfter == 0) {
        nFailAfter = -1;
        return true;
    }
    if (nFailAfter > 0) --nFailAfter;
    return false;
}

}  // namespace

extern "C" void *malloc(size_t cb) {
    if (!fFnLookUpReal()) return lpFnBootAllocate(cb);
    return fFnFailThisOne() ? nullptr : lpfnRealMalloc(cb);
}

extern "C" void *calloc(size_t n, size_t cb) {
    if (!fFnLookUpReal())
        return n == 0 || cb > 4096 / n ? nullptr : lpFnBootAllocate(n * cb);
    return fFnFailThisOne() ? nullptr : lpfnRealCalloc(n, cb);
}

namespace vokdsp_test {

int AllocationCount() { return nAllocations; }
void ResetAllocationCount() { nAllocations = 0; }
void FailAllocationAfter(int nAllowed) { nFailAfter = nAllowed; }

}  // namespace vokdsp_test

// Global allocation functions for the product's binaries.
//
// The product is built without exceptions. libstdc++'s allocation functions are built with
// them and would link in its exception and thread runtime, which imports GetTickCount64: a
// function Windows XP does not have, so the program would not load there. These replacements
// allocate from the C runtime's heap; the non-throwing forms return null on failure, and the
// plain forms end the process, as an allocation failure without exceptions does.
#include <new>

#include <stdlib.h>

namespace {

void* AllocateOrNull(std::size_t cb) {
    return malloc(cb != 0 ? cb : 1);
}

void* AllocateOrAbort(std::size_t cb) {
    void* p = AllocateOrNull(cb);
    if (p == nullptr)
        abort();
    return p;
}

} // namespace

void* operator new(std::size_t cb) {
    return AllocateOrAbort(cb);
}
void* operator new[](std::size_t cb) {
    return AllocateOrAbort(cb);
}
void* operator new(std::size_t cb, const std::nothrow_t&) noexcept {
    return AllocateOrNull(cb);
}
void* operator new[](std::size_t cb, const std::nothrow_t&) noexcept {
    return AllocateOrNull(cb);
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete[](void* p) noexcept {
    free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    free(p);
}

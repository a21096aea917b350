// Small move-only owners for Windows handles. Every handle the programs open is held
// by one of these, so it is closed on every path.
#pragma once
#include <windows.h>
#include <utility>

namespace handles {

// Traits: how a handle kind is invalid and how it is released.
struct KernelTraits {  // events, threads, mutexes, tokens: NULL when absent
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct FileTraits {  // CreateFile results: INVALID_HANDLE_VALUE when absent
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
struct ModuleTraits {
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE h) { FreeLibrary(h); }
};
struct KeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) {
        // Predefined roots (HKEY_LOCAL_MACHINE ...) are never closed.
        if ((reinterpret_cast<ULONG_PTR>(h) & 0x80000000u) == 0) RegCloseKey(h);
    }
};

template <class T, class Traits>
class Owner {
public:
    Owner() : h_(Traits::invalid()) {}
    explicit Owner(T h) : h_(h) {}
    ~Owner() { reset(); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& o) noexcept : h_(o.detach()) {}
    Owner& operator=(Owner&& o) noexcept {
        if (this != &o) reset(o.detach());
        return *this;
    }
    T get() const { return h_; }
    bool valid() const { return h_ != Traits::invalid(); }
    explicit operator bool() const { return valid(); }
    // For out-parameters of creating calls: releases what is held first.
    T* receive() {
        reset();
        return &h_;
    }
    T detach() { return std::exchange(h_, Traits::invalid()); }
    void attach(T h) { reset(h); }
    void reset(T h = Traits::invalid()) {
        if (valid()) Traits::close(h_);
        h_ = h;
    }

private:
    T h_;
};

}  // namespace handles

using KernelHandle = handles::Owner<HANDLE, handles::KernelTraits>;
using FileHandle = handles::Owner<HANDLE, handles::FileTraits>;
using FindHandle = handles::Owner<HANDLE, handles::FindTraits>;
using ModuleHandle = handles::Owner<HMODULE, handles::ModuleTraits>;
using KeyHandle = handles::Owner<HKEY, handles::KeyTraits>;

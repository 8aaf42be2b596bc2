#include "host/PluginFolder.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {
// The module path is read into a buffer of this many characters.
constexpr int kModulePathCapacity = 1501;
}  // namespace

#if defined(_WIN32)
char PathSeparator() { return '\\'; }

std::string PluginFolder() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&PluginFolder), &module))
        return std::string();
    char path[kModulePathCapacity];
    DWORD n = GetModuleFileNameA(module, path, kModulePathCapacity);
    if (n == 0 || n >= DWORD(kModulePathCapacity)) return std::string();
    std::string p(path, n);
    const size_t cut = p.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}
#else
char PathSeparator() { return '/'; }

std::string PluginFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&PluginFolder), &info) || !info.dli_fname) return std::string();
    std::string p(info.dli_fname);
    if (p.size() >= size_t(kModulePathCapacity)) return std::string();
    const size_t cut = p.rfind('/');
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}
#endif

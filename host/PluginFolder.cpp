#include "host/PluginFolder.h"

#include <algorithm>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string ReadRegularFile(const std::string& path, size_t maxBytes) {
    // A directory does not open without backup semantics; a pipe or device opens but is no disk file.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    if (GetFileType(file) == FILE_TYPE_DISK) {
        text.resize(maxBytes);
        size_t got = 0;
        DWORD n = 0;
        while (got < maxBytes &&
               ReadFile(file, text.data() + got, DWORD(std::min<size_t>(maxBytes - got, 1u << 20)), &n, nullptr) &&
               n > 0)
            got += n;
        text.resize(got);
    }
    CloseHandle(file);
    return text;
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

std::string ReadRegularFile(const std::string& path, size_t maxBytes) {
    // Opened without blocking, so a FIFO does not wait for a writer; checked on the open file
    // itself, so nothing can be swapped in between the check and the read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::string();
    std::string text;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        text.resize(maxBytes);
        size_t got = 0;
        while (got < maxBytes) {
            const ssize_t n = read(fd, text.data() + got, maxBytes - got);
            if (n > 0) got += size_t(n);
            else if (n == 0 || errno != EINTR) break;
        }
        text.resize(got);
    }
    close(fd);
    return text;
}
#endif

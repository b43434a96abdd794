#pragma once
// Properties the fuzz targets assert beyond "does not crash"; a broken one aborts, which libFuzzer
// reports as a crash with the input that caused it.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iconv.h>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

inline std::string_view FuzzText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Valid UTF-8 by glibc's decoder, an oracle independent of the product's own checks.
inline bool IsUtf8ByIconv(std::string_view text) {
    static const iconv_t converter = iconv_open("UTF-8", "UTF-8");
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) && errno != E2BIG)
            return false;
    }
    return true;
}

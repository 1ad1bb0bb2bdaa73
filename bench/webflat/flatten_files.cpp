// Benchmark driver (not a test): runs the text extraction of WEBFLAT.DLL's portable core
// over HTML files, the way the library treats a fetched page (character set found and
// converted to UTF-8, then flattened).
//
//   flatten_files --time ROUNDS FILE...   prints "<bytes> <seconds>" for ROUNDS passes
//                                         over all files, read once into memory
//   flatten_files --dump DIR FILE...      writes each file's text (UTF-8, break marks as
//                                         line ends) to DIR/<n>.txt, n = argument index
//   flatten_files --memory FILE           prints "<page bytes> <peak heap bytes>": the most
//                                         heap the process held at once from reading the
//                                         page to having its text, page included; the
//                                         page's bytes are released once converted to
//                                         UTF-8, as the library releases fetched bytes
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "webflat/core/charset.h"
#include "webflat/core/flatten.h"

using namespace quillon::webflat;

// Heap accounting for --memory: every allocation of the process goes through these.
static std::atomic<size_t> g_liveBytes{0};
static std::atomic<size_t> g_peakBytes{0};

static void *Allocate(size_t size)
{
    void *block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    const size_t live = g_liveBytes += malloc_usable_size(block);
    size_t peak = g_peakBytes.load();
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
    }
    return block;
}

static void Release(void *block)
{
    if (block == nullptr)
        return;
    g_liveBytes -= malloc_usable_size(block);
    std::free(block);
}

void *operator new(size_t size) { return Allocate(size); }
void *operator new[](size_t size) { return Allocate(size); }
void operator delete(void *block) noexcept { Release(block); }
void operator delete[](void *block) noexcept { Release(block); }
void operator delete(void *block, size_t) noexcept { Release(block); }
void operator delete[](void *block, size_t) noexcept { Release(block); }

static std::string ReadFile(const char *path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes;
    if (!in)
        return bytes;
    bytes.resize(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

static std::string ToUtf8(const std::string &bytes)
{
    std::string utf8;
    if (!ConvertToUtf8(bytes, DetectCharset(bytes, ""), utf8))
        ConvertToUtf8(bytes, "windows-1252", utf8);
    return utf8;
}

static FlatText Flatten(const std::string &bytes) { return FlattenMarkup(ToUtf8(bytes)); }

int main(int argc, char **argv)
{
    if (argc < 3 || (argc < 4 && std::strcmp(argv[1], "--memory") != 0)) {
        std::fprintf(stderr, "usage: %s --time ROUNDS FILE... | --dump DIR FILE... | --memory FILE\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "--time") == 0) {
        const int rounds = std::atoi(argv[2]);
        std::vector<std::string> pages;
        size_t bytes = 0;
        for (int i = 3; i < argc; ++i) {
            pages.push_back(ReadFile(argv[i]));
            bytes += pages.back().size();
        }
        size_t produced = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < rounds; ++r)
            for (const std::string &page : pages)
                produced += Flatten(page).body.size();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%zu %.6f %zu\n", bytes * static_cast<size_t>(rounds), seconds, produced);
        return 0;
    }
    if (std::strcmp(argv[1], "--memory") == 0) {
        const size_t before = g_liveBytes.load();
        g_peakBytes = before;
        size_t pageSize = 0;
        std::string utf8;
        {
            const std::string page = ReadFile(argv[2]);
            pageSize = page.size();
            utf8 = ToUtf8(page);
        }
        const size_t produced = FlattenMarkup(std::move(utf8)).body.size();
        std::printf("%zu %zu %zu\n", pageSize, g_peakBytes.load() - before, produced);
        return 0;
    }
    if (std::strcmp(argv[1], "--dump") == 0) {
        for (int i = 3; i < argc; ++i) {
            std::string body = Flatten(ReadFile(argv[i])).body;
            for (char &c : body)
                if (c == '\x01')
                    c = '\n';
            std::ofstream out(std::string(argv[2]) + "/" + std::to_string(i - 3) + ".txt", std::ios::binary);
            out << body << '\n';
        }
        return 0;
    }
    return 2;
}

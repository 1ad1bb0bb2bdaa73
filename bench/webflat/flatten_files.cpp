// Benchmark driver (not a test): runs the text extraction of WEBFLAT.DLL's portable core
// over HTML files, the way the library treats a fetched page (character set found and
// converted to UTF-8, then flattened).
//
//   flatten_files --time ROUNDS FILE...   prints "<bytes> <seconds>" for ROUNDS passes
//                                         over all files, read once into memory
//   flatten_files --dump DIR FILE...      writes each file's text (UTF-8, break marks as
//                                         line ends) to DIR/<n>.txt, n = argument index
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "webflat/core/charset.h"
#include "webflat/core/flatten.h"

using namespace quillon::webflat;

static std::string ReadFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

static FlatText Flatten(const std::string &bytes)
{
    std::string utf8;
    if (!ConvertToUtf8(bytes, DetectCharset(bytes, ""), utf8))
        ConvertToUtf8(bytes, "windows-1252", utf8);
    return FlattenMarkup(std::move(utf8));
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s --time ROUNDS FILE... | --dump DIR FILE...\n", argv[0]);
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

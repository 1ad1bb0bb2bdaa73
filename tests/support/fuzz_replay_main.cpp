// Replays a fuzz corpus through LLVMFuzzerTestOneInput, so that the ordinary native test
// run (g++, ASan/UBSan) checks every input the fuzzer ever kept. Arguments are files or
// folders; a folder's regular files are replayed in name order.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

static bool ReplayFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

int main(int argc, char **argv)
{
    size_t replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            std::vector<fs::path> files;
            for (const auto &entry : fs::directory_iterator(arg))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto &f : files) {
                ok = ReplayFile(f) && ok;
                ++replayed;
            }
        } else {
            ok = ReplayFile(arg) && ok;
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    if (replayed == 0) {
        std::fprintf(stderr, "empty corpus\n");
        return 1;
    }
    return ok ? 0 : 1;
}

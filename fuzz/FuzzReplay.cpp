// Feeds files to a fuzz target's entry point without libFuzzer, so that the
// plain, sanitizer and valgrind runs of the test suite put the seed corpora
// and every kept reproducer through the same checks as the fuzzer does.
// Usage: TARGET_replay FILE-OR-DIRECTORY... (each input stands alone: any order)
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *lpb, size_t cb);

namespace fs = std::filesystem;

int main(int argc, char **argv) {
    std::vector<fs::path> aPaths;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            aPaths.emplace_back(argv[i]);
            continue;
        }
        for (const fs::directory_entry &entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file()) aPaths.push_back(entry.path());
    }
    for (const fs::path &path : aPaths) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        const std::vector<uint8_t> ab((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(ab.data(), ab.size());
    }
    printf("%zu inputs replayed\n", aPaths.size());
    return aPaths.empty() ? 1 : 0;
}

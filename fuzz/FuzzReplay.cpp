// Feeds files to a fuzz target's entry point without libFuzzer, so that the
// plain, sanitizer and valgrind runs of the test suite put the seed corpora
// and every kept reproducer through the same checks as the fuzzer does.
// Usage: TARGET_replay FILE-OR-DIRECTORY...
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *lpb, size_t cb);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsIn(const fs::path &path) {
    std::vector<fs::path> aPaths;
    if (!fs::is_directory(path)) return {path};
    for (const fs::directory_entry &entry : fs::directory_iterator(path))
        if (entry.is_regular_file()) aPaths.push_back(entry.path());
    std::sort(aPaths.begin(), aPaths.end());
    return aPaths;
}

}  // namespace

int main(int argc, char **argv) {
    size_t cInputs = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path &path : InputsIn(argv[i])) {
            std::ifstream file(path, std::ios::binary);
            if (!file) {
                fprintf(stderr, "cannot read %s\n", path.c_str());
                return 1;
            }
            const std::vector<uint8_t> ab((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(ab.data(), ab.size());
            ++cInputs;
        }
    }
    printf("%zu inputs replayed\n", cInputs);
    return cInputs != 0 ? 0 : 1;
}

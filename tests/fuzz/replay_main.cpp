// replay_main.cpp - runs the fuzz target over the files named on the command
// line (or every file of the directories named), without libFuzzer: the
// committed corpus becomes a regression test of the ordinary builds.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool RunFile(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::fprintf(stderr, "replay: %s not found\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            runs += RunFile(argv[i]);
            continue;
        }
        DIR *d = opendir(argv[i]);
        while (dirent *e = d != nullptr ? readdir(d) : nullptr) {
            if (e->d_name[0] != '.')
                runs += RunFile(std::string(argv[i]) + "/" + e->d_name);
        }
        if (d != nullptr)
            closedir(d);
    }
    std::printf("replay: %d inputs, every invariant held\n", runs);
    return runs > 0 ? 0 : 1;
}

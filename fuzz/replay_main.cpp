// Plain driver for a fuzz target, used where libFuzzer is not: replays the
// committed seed inputs and, with --mutate N, N inputs derived from them by
// a fixed-seed mutator, so that every build runs the target's checks.
//
//   <target>-replay [--mutate N] FILE|FOLDER...

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string* current = nullptr;

// A failed check aborts: show the input that made it fail, as escaped bytes.
extern "C" void showInput(int) {
    if (current) {
        std::fprintf(stderr, "failing input (%zu bytes): \"", current->size());
        for (unsigned char c : *current) {
            if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
                std::fputc(c, stderr);
            else
                std::fprintf(stderr, "\\x%02x", c);
        }
        std::fprintf(stderr, "\"\n");
    }
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

void run(const std::string& input) {
    current = &input;
    // A copy of exactly the input's size, so that reads past its end are caught.
    std::vector<std::uint8_t> copy(input.begin(), input.end());
    LLVMFuzzerTestOneInput(copy.data(), copy.size());
    current = nullptr;
}

// Byte flips, insertions, deletions and splices of two seeds.
std::string mutate(std::mt19937& rng, const std::vector<std::string>& seeds) {
    std::string s = seeds[rng() % seeds.size()];
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < steps; ++i) {
        const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (rng() % 5) {
            case 0: if (!s.empty()) s[at % s.size()] = static_cast<char>(rng()); break;
            case 1: s.insert(at, 1, static_cast<char>(rng())); break;
            case 2: if (!s.empty()) s.erase(at % s.size(), 1 + rng() % 4); break;
            case 3: {
                const std::string& other = seeds[rng() % seeds.size()];
                if (!other.empty()) {
                    const std::size_t from = rng() % other.size();
                    s.insert(at, other.substr(from, 1 + rng() % 16));
                }
                break;
            }
            default: if (!s.empty()) s[at % s.size()] ^= static_cast<char>(1u << (rng() % 8)); break;
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    long mutations = 0;
    std::vector<std::string> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mutate" && i + 1 < argc) {
            mutations = std::strtol(argv[++i], nullptr, 10);
            continue;
        }
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(arg)) {
            for (const auto& e : std::filesystem::directory_iterator(arg))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(arg);
        }
        for (const auto& f : files) seeds.push_back(readFile(f));
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "no seed inputs given\n");
        return 2;
    }
    std::signal(SIGABRT, showInput);
    for (const auto& s : seeds) run(s);
    std::mt19937 rng(20261208);
    for (long n = 0; n < mutations; ++n) {
        const std::string input = mutate(rng, seeds);
        run(input);
    }
    std::printf("%zu seed inputs and %ld mutations ran clean\n", seeds.size(), mutations);
    return 0;
}

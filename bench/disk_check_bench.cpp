// The check a save makes of the document on disk, on a 150 MB file: the
// file unchanged (every byte read and digested), changed in place with the
// same size (the same), and changed in size (no read). Medians of several
// rounds, the file in the page cache as it is right after a writer's work.
//
//   talery_disk_check_bench [megabytes]

#include "session/disk_identity.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

using namespace talery;
using bench::median;
using bench::millis;

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 150;
    std::string folder = (std::filesystem::temp_directory_path() / "talery-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 1;
    const Path path = folder + "/novel.txt";
    {
        std::ofstream out(path, std::ios::binary);
        const std::string line = gbk(u8"　　风吹过来的时候，夜色已经很深了。远处传来叮当的声音。\r\n");
        for (std::size_t written = 0; written < megabytes << 20; written += line.size()) out << line;
    }
    const auto known = identify(path);
    if (!known) return 1;
    std::printf("document: %.1f MB\n", static_cast<double>(known->size) / (1 << 20));

    auto round = [&](const char* what, const std::function<void()>& change, DiskChange expected) {
        std::vector<double> times, cpu;
        for (int i = 0; i < 5; ++i) {
            change();
            DiskCheck check;
            const std::clock_t c0 = std::clock();
            times.push_back(millis([&] { check = checkOnDisk(path, known); }));
            cpu.push_back(1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
            if (check.change != expected) std::printf("  unexpected result\n");
        }
        // On a shared machine the wall time waits for the processor; the CPU time does not.
        std::printf("%-34s median %7.1f ms (CPU %7.1f ms), slowest %7.1f ms\n", what, median(times), median(cpu),
                    *std::max_element(times.begin(), times.end()));
    };
    round("unchanged (read and digested):", [] {}, DiskChange::None);
    round("same size, other bytes:", [&] {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(known->size / 2));
        f.write("xx", 2);
    }, DiskChange::Changed);
    round("another size (no read):", [&] { std::ofstream(path, std::ios::app) << "x"; }, DiskChange::Changed);
    std::filesystem::remove_all(folder);
    return 0;
}

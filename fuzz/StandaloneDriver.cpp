// A quick run of one fuzz target without libFuzzer: every seed file named on
// the command line (files, or directories of them) once, then random mutations
// of the seeds (bit flips, inserts, deletes, truncations, splices) for
// ATALAIA_FUZZ_SMOKE_SECONDS seconds (2 by default). ATALAIA_FUZZ_SMOKE_SEED
// repeats a run. When an input makes the target crash, the input is printed in
// hexadecimal on standard error and left in "crash-<program>" in the working
// directory, ready to be given to the program (or to the libFuzzer target) again.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxInputLength = 1 << 16;
constexpr double kDefaultSeconds = 2.0;
// Bytes the parsers give a meaning to.
constexpr uint8_t kInteresting[] = {0,   1,   2,   3,   '\t', '\n', '\r', ' ',  '!',  '"',  '-',  '0',
                                    '9', 'F', '[', ']', '{',  '}',  0x7F, 0x80, 0xC3, 0xE2, 0xF0, 0xFF};

// The input now running, for the crash report.
const Bytes* g_current = nullptr;
std::string g_crashPath;

void writeAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written <= 0)
            return;
        bytes += written;
        size -= size_t(written);
    }
}

// Only async-signal-safe calls: this runs from a signal handler or a sanitizer's report.
void reportCurrentInput() {
    static volatile sig_atomic_t reported = 0;
    if (!g_current || reported)
        return;
    reported = 1;
    static const char kHex[] = "0123456789abcdef";
    static const char kTitle[] = "\n== fuzz smoke: crashing input (hex):\n";
    writeAll(STDERR_FILENO, kTitle, sizeof kTitle - 1);
    for (const uint8_t byte : *g_current) {
        const char pair[2] = {kHex[byte >> 4], kHex[byte & 0xF]};
        writeAll(STDERR_FILENO, pair, 2);
    }
    writeAll(STDERR_FILENO, "\n", 1);
    const int fd = open(g_crashPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        writeAll(fd, g_current->data(), g_current->size());
        close(fd);
    }
}

void onFatalSignal(int signal) {
    reportCurrentInput();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void run(const Bytes& input) {
    g_current = &input;
    LLVMFuzzerTestOneInput(input.data(), input.size());
    g_current = nullptr;
}

void addSeeds(const std::filesystem::path& path, std::vector<Bytes>& seeds) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
}

Bytes mutate(const std::vector<Bytes>& seeds, std::mt19937_64& random) {
    auto below = [&random](size_t n) { return n == 0 ? size_t(0) : size_t(random() % n); };
    Bytes data = seeds[below(seeds.size())];
    const int steps = 1 + int(below(8));
    for (int step = 0; step < steps; ++step) {
        switch (below(6)) {
        case 0: // flip a bit
            if (!data.empty())
                data[below(data.size())] ^= uint8_t(1u << below(8));
            break;
        case 1: { // insert a few bytes
            const size_t at = below(data.size() + 1);
            const size_t count = 1 + below(8);
            for (size_t i = 0; i < count; ++i) {
                const uint8_t byte = below(2) ? uint8_t(random()) : kInteresting[below(sizeof kInteresting)];
                data.insert(data.begin() + ptrdiff_t(at), byte);
            }
            break;
        }
        case 2: { // delete a range
            if (data.empty())
                break;
            const size_t at = below(data.size());
            const size_t count = 1 + below(std::min<size_t>(data.size() - at, 16));
            data.erase(data.begin() + ptrdiff_t(at), data.begin() + ptrdiff_t(at + count));
            break;
        }
        case 3: // truncate
            data.resize(below(data.size() + 1));
            break;
        case 4: { // splice: this input's start, another seed's end
            const Bytes& other = seeds[below(seeds.size())];
            data.resize(below(data.size() + 1));
            data.insert(data.end(), other.begin() + ptrdiff_t(below(other.size() + 1)), other.end());
            break;
        }
        default: // overwrite a byte with one the parsers care about
            if (!data.empty())
                data[below(data.size())] = kInteresting[below(sizeof kInteresting)];
            break;
        }
    }
    if (data.size() > kMaxInputLength)
        data.resize(kMaxInputLength);
    return data;
}

} // namespace

int main(int argc, char** argv) {
    g_crashPath = "crash-" + std::filesystem::path(argv[0]).filename().string();
    for (const int signal : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP})
        ::signal(signal, onFatalSignal);
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(reportCurrentInput);

    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; ++i)
        addSeeds(argv[i], seeds);
    for (const Bytes& seed : seeds)
        run(seed);
    const size_t replayed = seeds.size();
    if (seeds.empty())
        seeds.emplace_back();

    const char* secondsText = std::getenv("ATALAIA_FUZZ_SMOKE_SECONDS");
    const double seconds = secondsText ? std::atof(secondsText) : kDefaultSeconds;
    const char* seedText = std::getenv("ATALAIA_FUZZ_SMOKE_SEED");
    const uint64_t seed = seedText ? std::strtoull(seedText, nullptr, 10) : std::random_device{}();
    std::mt19937_64 random(seed);
    std::printf("%zu seed inputs replayed; mutations for %g s with ATALAIA_FUZZ_SMOKE_SEED=%llu\n", replayed, seconds,
                static_cast<unsigned long long>(seed));
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    uint64_t runs = 0;
    while (std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < 16; ++i, ++runs)
            run(mutate(seeds, random));
    }
    std::printf("%llu mutated inputs\n", static_cast<unsigned long long>(runs));
    return 0;
}

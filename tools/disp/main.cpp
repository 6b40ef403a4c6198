// disp.exe: a dispatcher for reporting mode 3, for demos and tests. It maps
// the server's shared ring, listens for the "DISP_NEW_GSM_EVENT" notification
// with a socket of its own in the notification directory, and prints each
// record it is told about, decoded. The executable has this exact name: the
// server recognises the dispatcher by it.
//
//   disp.exe [--ring /DISPFileMapping] [--notify-dir /tmp/DISP_NEW_GSM_EVENT] [--count N]

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kSlotCount = 100;
constexpr int kSlotSize = 128;
constexpr int kRingSize = kSlotCount * kSlotSize;
constexpr int kRecordLength = 46;
// More slots than a listener's queue can hold notifications for.
constexpr int kMaxCatchUp = 16;

constexpr const char* kUsage =
    "Usage: disp.exe [--ring NAME] [--notify-dir DIR] [--count N]\n"
    "A dispatcher for Atalaia's reporting mode 3: prints each record the receiver puts in the shared ring.\n\n"
    "  --ring NAME        the shared-memory ring (default /DISPFileMapping)\n"
    "  --notify-dir DIR   where its notification socket goes (default /tmp/DISP_NEW_GSM_EVENT)\n"
    "  --count N          end after N records\n"
    "  -h, --help         show this text and end\n"
    "  --version          show the version and end\n";

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

// The record's fields: STX, 0x01, yyMMdd, HHmmss, "81", account, code, partition, zone, fill, ETX.
void printRecord(int slot, const char* record) {
    if (record[0] != 0x02 || record[1] != 0x01 || record[kRecordLength - 1] != 0x03) {
        std::printf("slot %d: not a record\n", slot);
        return;
    }
    const std::string r(record, kRecordLength);
    std::printf("slot %d: date %s time %s account %s code %s partition %s zone %s\n", slot, r.substr(2, 6).c_str(),
                r.substr(8, 6).c_str(), r.substr(16, 4).c_str(), r.substr(20, 4).c_str(), r.substr(24, 2).c_str(),
                r.substr(26, 3).c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string ring = "/DISPFileMapping";
    std::string directory = "/tmp/DISP_NEW_GSM_EVENT";
    long count = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--ring" && i + 1 < argc)
            ring = argv[++i];
        else if (option == "--notify-dir" && i + 1 < argc)
            directory = argv[++i];
        else if (option == "--count" && i + 1 < argc)
            count = std::strtol(argv[++i], nullptr, 10);
        else if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (option == "--version") {
            std::printf("disp.exe %s\n", ATALAIA_VERSION);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s/disp-%d.sock", directory.c_str(), int(::getpid()));
    ::mkdir(directory.c_str(), 01777);
    ::unlink(address.sun_path);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "disp.exe: cannot listen at %s: %s\n", address.sun_path, std::strerror(errno));
        return 1;
    }
    timeval tick{0, 200 * 1000};
    ::setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    std::printf("listening at %s\n", address.sun_path);
    std::fflush(stdout);

    const char* slots = nullptr;
    int next = -1; // the slot expected next, once one was seen
    while (!g_stop && count != 0) {
        unsigned char message[8];
        const ssize_t got = ::recv(listener, message, sizeof message, 0);
        if (got != sizeof message)
            continue;
        if (!slots) {
            // The ring is the server's: it exists once the server runs mode 3.
            const int fd = ::shm_open(ring.c_str(), O_RDONLY, 0);
            if (fd >= 0) {
                void* mapped = ::mmap(nullptr, kRingSize, PROT_READ, MAP_SHARED, fd, 0);
                ::close(fd);
                if (mapped != MAP_FAILED)
                    slots = static_cast<const char*>(mapped);
            }
            if (!slots) {
                std::fprintf(stderr, "disp.exe: cannot map %s\n", ring.c_str());
                continue;
            }
        }
        const unsigned slot = message[0] | (message[1] << 8) | (message[2] << 16) | (unsigned(message[3]) << 24);
        if (slot >= unsigned(kSlotCount))
            continue;
        // A notification names the newest slot; those missed since the last
        // one (a listener's queue holds only a few) are read on the way. A
        // larger gap is a new start of the server's bridge, which begins at slot 0 again.
        const int gap = next < 0 ? 0 : (int(slot) - next + kSlotCount) % kSlotCount;
        const int from = gap <= kMaxCatchUp ? (next < 0 ? int(slot) : next) : int(slot);
        for (int s = from;; s = (s + 1) % kSlotCount) {
            printRecord(s, slots + s * kSlotSize);
            if (count > 0)
                --count;
            if (s == int(slot))
                break;
        }
        next = int(slot + 1) % kSlotCount;
        std::fflush(stdout);
    }
    ::unlink(address.sun_path);
    return 0;
}

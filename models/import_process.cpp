#include "models/import_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "models/assimp_import.h"

namespace {

// The wall-clock backstop: this many times the CPU time a model may take, and this much more.
constexpr double kWallClockFactor = 2.0, kWallClockSlackSeconds = 2.0;

constexpr size_t kMaxResultBytes = 1ull << 30;
constexpr char kModelTag = 'M', kErrorTag = 'E';

bool writeAll(int fd, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w, n -= static_cast<size_t>(w);
    }
    return true;
}

bool executable(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

std::string signalWords(int sig) {
    switch (sig) {
        case SIGSEGV:
        case SIGBUS: return "made the importer crash (it ran out of stack or read a damaged structure)";
        case SIGXCPU:
        case SIGKILL: return "took longer than the import may take";
        case SIGABRT: return "made the importer give up (it ran out of memory or met an impossible value)";
        default: return std::string("made the importer stop (") + strsignal(sig) + ")";
    }
}

}  // namespace

ImportLimits importLimitsFor(long long fileBytes) {
    ImportLimits l;
    const long long megabytes = std::max(0ll, fileBytes) >> 20;
    // The textures are decoded within the limit too: the pixel budget at four bytes a pixel kept
    // and sixteen more while an HDR picture is read as floats.
    l.memoryBytes = std::min((256ll << 20) + 20 * kTextureBudgetPixels + 24 * std::max(0ll, fileBytes), 3ll << 30);
    // 2 s more for decoding the textures: a budget's worth of pixels in one HDR picture takes 4 s here.
    l.seconds = 6.0 + 0.25 * static_cast<double>(megabytes);
    l.stackBytes = 256ll << 20;
    return l;
}

namespace {

// The sizes of the regular files below `folder` (but `except`), counting up to `total`: stops at
// the limits' own cap, or after this many entries of a crowded folder.
long long folderBytes(const std::filesystem::path& folder, const std::filesystem::path& except, long long total) {
    constexpr int kMaxEntries = 20000;
    constexpr long long kEnough = 4ll << 30;
    std::error_code ec;
    int entries = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(folder.empty() ? "." : folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator() && ++entries < kMaxEntries && total < kEnough;
         it.increment(ec)) {
        if (it->is_regular_file(ec) && !ec && it->path() != except) total += static_cast<long long>(it->file_size(ec));
        ec.clear();
    }
    return total;
}

}  // namespace

long long modelReadableBytes(const std::string& file, const std::string& assets) {
    // What a model may name lies in its folder or below, or below --assets (models/model_folder.h):
    // the sum of those files bounds what the importer reads, whatever the format.
    struct stat st {};
    long long total = stat(file.c_str(), &st) == 0 ? st.st_size : 0;
    total = folderBytes(std::filesystem::path(file).parent_path(), std::filesystem::path(file), total);
    if (!assets.empty()) total = folderBytes(assets, std::filesystem::path(file), total);
    return total;
}

std::string importerProgram() {
    if (const char* set = std::getenv("TOVRAK_IMPORTER"); set && *set) return set;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, static_cast<size_t>(n));
        const size_t slash = path.rfind('/');
        const std::string beside = path.substr(0, slash + 1) + "tovrak-import";
        if (executable(beside)) return beside;
    }
    return TOVRAK_IMPORTER_BUILT;
}

int runImportChild(const std::string& file, int fd, const std::string& assets) {
    std::string why;
    try {
        ImportedModel model;
        if (importWithAssimp(file, model, why, assets)) {
            std::vector<uint8_t> bytes = encodeModel(model);
            model = ImportedModel{};
            // The tag and the length first, so that the reader can make room for all of it once.
            const uint64_t length = bytes.size();
            return writeAll(fd, &kModelTag, 1) && writeAll(fd, &length, sizeof length) &&
                           writeAll(fd, bytes.data(), bytes.size())
                       ? 0
                       : 1;
        }
    } catch (const std::bad_alloc&) {
        why = "needs more memory than the " + std::to_string(importLimitsFor(modelReadableBytes(file, assets)).memoryBytes >> 20) +
              " MB a model file of its size may take to load";
    } catch (const std::exception& e) {
        why = std::string("cannot be read as a model (") + e.what() + ")";
    }
    writeAll(fd, &kErrorTag, 1);
    writeAll(fd, why.data(), why.size());
    return 0;
}

bool importInChild(const std::string& file, ImportedModel& out, std::string& why, bool (*cancelled)(),
                   const std::string& assets) {
    out = ImportedModel{};
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
        why = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return false;
    }
    const ImportLimits limits = importLimitsFor(modelReadableBytes(file, assets));
    const std::string program = importerProgram();
    if (!executable(program)) {
        why = "cannot be imported: the importer " + program + " is missing";
        return false;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        why = std::string("cannot be imported (") + std::strerror(errno) + ")";
        return false;
    }
    // Everything the child needs is made before the fork: after it, only calls that are safe
    // between fork and exec.
    std::vector<std::string> args = {program, "--result-fd", "3"};
    if (!assets.empty()) args.insert(args.end(), {"--assets", assets});
    args.push_back(file);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const rlimit memory{static_cast<rlim_t>(limits.memoryBytes), static_cast<rlim_t>(limits.memoryBytes)};
    const rlim_t cpu = static_cast<rlim_t>(std::ceil(limits.seconds));
    const rlimit cpuLimit{cpu, cpu + 1};
    const rlimit stack{static_cast<rlim_t>(limits.stackBytes), static_cast<rlim_t>(limits.stackBytes)};
    const rlimit noCore{0, 0};
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        close(pipeFds[0]), close(pipeFds[1]);
        why = std::string("cannot be imported (") + std::strerror(errno) + ")";
        return false;
    }
    if (child == 0) {
        // A group of its own: whatever it starts ends with it.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
#ifndef TOVRAK_NO_MEMORY_LIMIT
        setrlimit(RLIMIT_AS, &memory);
#else
        (void)memory;
#endif
        setrlimit(RLIMIT_CPU, &cpuLimit);
        setrlimit(RLIMIT_STACK, &stack);
        setrlimit(RLIMIT_CORE, &noCore);
        // The child is the program's helper, not a second copy answering Ctrl-C on its own.
        signal(SIGINT, SIG_DFL), signal(SIGTERM, SIG_DFL), signal(SIGPIPE, SIG_DFL);
        if (dup2(pipeFds[1], 3) < 0) _exit(127);
        const int devNull = open("/dev/null", O_RDWR);
        if (devNull >= 0) dup2(devNull, 0), dup2(devNull, 1);
        // None of the program's open files (the point log, a recording, the pose file) but the pipe.
        close_range(4, ~0U, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    setpgid(child, child);  // as the child does itself, whichever runs first
    close(pipeFds[1]);

    // What the child writes: kModelTag, the result's length (8 bytes) and the result; or
    // kErrorTag and the reason.
    std::vector<uint8_t> bytes;
    size_t filled = 0;
    bool sized = false;
    // The limit is the child's own CPU time (RLIMIT_CPU above), which a busy machine does not eat
    // into; the wall clock is only the backstop for a child that waits on something instead.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kWallClockFactor * limits.seconds + kWallClockSlackSeconds);
    enum { Reading, Done, TimedOut, Cancelled, TooMuch } state = Reading;
    while (state == Reading) {
        if (cancelled && cancelled()) {
            state = Cancelled;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd p{pipeFds[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::clamp<long long>(left, 0, 100)));
        // What the child wrote is read even past the deadline (the program may have been stopped
        // while the child finished); only a pipe with nothing in it runs out of time.
        if (ready <= 0 && left <= 0) {
            state = TimedOut;
            break;
        }
        if (ready <= 0) continue;  // a signal or the tenth of a second: cancellation is asked again
        if (filled == bytes.size()) {
            if (bytes.size() >= kMaxResultBytes) {
                state = TooMuch;
                break;
            }
            bytes.resize(std::min(kMaxResultBytes, std::max<size_t>(2 * bytes.size(), 1 << 16)));
        }
        const ssize_t n = read(pipeFds[0], bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            state = Done;
            continue;
        }
        filled += static_cast<size_t>(n);
        if (!sized && filled >= 9 && bytes[0] == kModelTag) {
            sized = true;
            uint64_t length = 0;
            std::memcpy(&length, &bytes[1], sizeof length);
            if (length > kMaxResultBytes - 9) state = TooMuch;
            else if (bytes.size() < 9 + length) bytes.resize(9 + length);
        }
    }
    bytes.resize(filled);
    close(pipeFds[0]);
    // The pipe closed: a whole result needs nothing more of the child; otherwise it is waited for
    // until the same deadline, and not past Ctrl-C, however long it lingers after closing it.
    int status = 0;
    bool reaped = false;
    const bool whole = sized && bytes.size() >= 9 && [&] {
        uint64_t length = 0;
        std::memcpy(&length, &bytes[1], sizeof length);
        return length == bytes.size() - 9;
    }();
    while (state == Done && !whole) {
        const pid_t r = waitpid(child, &status, WNOHANG);
        if (r == child || (r < 0 && errno != EINTR)) {
            reaped = r == child;
            break;
        }
        if (cancelled && cancelled()) state = Cancelled;
        else if (std::chrono::steady_clock::now() >= deadline) state = TimedOut;
        else poll(nullptr, 0, 10);
    }
    // The child and anything it started end here, whatever became of them.
    kill(-child, SIGKILL), kill(child, SIGKILL);
    while (!reaped && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (state == Cancelled) {
        why = "was not loaded: loading was interrupted";
        return false;
    }
    if (state == TimedOut) {
        why = "took longer than the " + std::to_string(static_cast<int>(kWallClockFactor * limits.seconds + kWallClockSlackSeconds)) +
              " s a model of its size may take to load";
        return false;
    }
    if (state == TooMuch) {
        why = "makes a model larger than the program takes";
        return false;
    }
    if (!bytes.empty() && bytes[0] == kErrorTag) {
        // One line of a sensible length, whatever a hostile file made the importer say.
        constexpr size_t kMaxReasonBytes = 300;
        why.assign(bytes.begin() + 1, bytes.begin() + 1 + std::min(bytes.size() - 1, kMaxReasonBytes));
        if (bytes.size() - 1 > kMaxReasonBytes) why += "...";
        for (char& ch : why)
            if (ch == '\n' || ch == '\r') ch = ' ';
        return false;
    }
    // A whole result stands whatever became of the child after it; it is checked as it is decoded.
    const bool result = !bytes.empty() && bytes[0] == kModelTag;
    if (!result && WIFSIGNALED(status)) {
        why = signalWords(WTERMSIG(status));
        return false;
    }
    if (!result) {
        why = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "cannot be imported: the importer " + program + " does not run"
                                                               : "cannot be imported: the importer stopped without a result";
        return false;
    }
    try {
        uint64_t length = 0;
        if (bytes.size() >= 9) std::memcpy(&length, &bytes[1], sizeof length);
        if (bytes.size() < 9 || length != bytes.size() - 9) {
            why = "cannot be imported: the importer's result ends early";
            return false;
        }
        if (!decodeModel(bytes.data() + 9, length, out, why)) {
            why = "cannot be imported: the importer's result " + why;
            return false;
        }
    } catch (const std::bad_alloc&) {
        out = ImportedModel{};
        why = "makes a model larger than the memory left takes";
        return false;
    }
    return true;
}

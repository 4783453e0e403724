#include "base/data_files.h"

#include <unistd.h>

#include <climits>

namespace {

bool exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

std::string executableDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    return folderOf(std::string(buf, static_cast<size_t>(n)));
}

}  // namespace

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string findDataFile(const std::string& name, std::string* tried) {
    if (tried) *tried = "the working folder";
    if (exists(name) || (!name.empty() && name[0] == '/')) return name;
    const std::string dir = executableDir();
    if (dir.empty()) return name;
    const std::string beside = dir + "/" + name;
    if (tried) *tried = "the working folder and " + dir;
    return exists(beside) ? beside : name;
}

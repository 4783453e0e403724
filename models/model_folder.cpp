#include "models/model_folder.h"

#include "base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int kSearchDepth = 4;
constexpr int kSearchEntries = 4000;

std::string slashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

// A file name as the model wrote it: after the last slash, and without a Windows drive.
std::string fileNameOf(const std::string& name) {
    const std::string s = slashes(name);
    const size_t slash = s.rfind('/');
    std::string base = slash == std::string::npos ? s : s.substr(slash + 1);
    if (base.size() > 2 && base[1] == ':') base = base.substr(2);
    return base;
}

}  // namespace

ModelFolder::ModelFolder(const std::string& modelFile, const std::string& assets) {
    std::error_code ec;
    const fs::path folder = fs::path(modelFile).parent_path();
    const fs::path canonical = fs::canonical(folder.empty() ? fs::path(".") : folder, ec);
    root_ = ec ? std::string() : canonical.string();
    if (root_.size() > 1 && root_.back() == '/') root_.pop_back();
    // A model that is a link (into a library of models, say) may name the files of its real
    // folder as well: the one the user named and the one it lies in are both its own.
    const fs::path real = fs::canonical(modelFile, ec);
    realRoot_ = ec ? root_ : real.parent_path().string();
    if (realRoot_.size() > 1 && realRoot_.back() == '/') realRoot_.pop_back();
    if (!assets.empty()) {
        const fs::path allowed = fs::canonical(assets, ec);
        assetsRoot_ = ec ? std::string() : allowed.string();
        if (assetsRoot_.size() > 1 && assetsRoot_.back() == '/') assetsRoot_.pop_back();
    }
}

bool ModelFolder::inside(const std::string& canonical) const {
    for (const std::string* root : {&root_, &realRoot_, &assetsRoot_}) {
        if (root->empty()) continue;
        if (*root == "/") return true;
        if (canonical == *root ||
            (canonical.size() > root->size() && canonical.compare(0, root->size(), *root) == 0 && canonical[root->size()] == '/'))
            return true;
    }
    return false;
}

bool ModelFolder::matchIgnoringCase(const std::string& relative, std::string& path) const {
    fs::path at(root_);
    for (const fs::path& part : fs::path(relative)) {
        const std::string want = part.string();
        if (want.empty() || want == ".") continue;
        if (want == "..") return false;
        std::error_code ec;
        if (fs::exists(at / want, ec)) {
            at /= want;
            continue;
        }
        bool found = false;
        int seen = 0;
        for (fs::directory_iterator it(at, ec), end; !ec && it != end && seen < kSearchEntries; it.increment(ec), ++seen)
            if (sameIgnoringCase(it->path().filename().string(), want)) {
                at = it->path();
                found = true;
                break;
            }
        if (!found) return false;
    }
    path = at.string();
    return true;
}

bool ModelFolder::resolve(const std::string& name, std::string& path, std::string& why) const {
    if (root_.empty()) {
        why = "cannot be looked for: the model's folder cannot be opened";
        return false;
    }
    std::string written = slashes(name);
    if (written.rfind("file://", 0) == 0) written = written.substr(7);
    std::error_code ec;
    // Names come relative to the working folder (the importer puts the model's folder before
    // them) or relative to the model's folder (texture names); both are tried.
    for (const fs::path& candidate : {fs::path(written), fs::path(root_) / written}) {
        const fs::path absolute = fs::absolute(candidate, ec).lexically_normal();
        if (ec) continue;
        const fs::path real = fs::weakly_canonical(absolute, ec);
        if (ec) continue;
        if (!inside(real.string())) {
            if (fs::exists(real, ec)) {
                why = "lies outside the model's folder, where a model's files must be";
                return false;
            }
            continue;
        }
        std::string found = real.string();
        if (!fs::exists(real, ec) && !matchIgnoringCase(real.string().substr(std::min(real.string().size(), root_.size() + 1)), found))
            continue;
        // A name matched without regard to case may lead through a link: checked again.
        const fs::path final = fs::canonical(found, ec);
        if (ec || !inside(final.string())) {
            why = "lies outside the model's folder, where a model's files must be";
            return false;
        }
        if (!fs::is_regular_file(final, ec)) {
            why = "is not a regular file";
            return false;
        }
        path = final.string();
        return true;
    }
    why = "does not exist in the model's folder";
    return false;
}

// A URI's %XX escapes decoded (glTF writes a space as %20); the name as it was when it has none.
static std::string percentDecoded(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool ModelFolder::findTexture(const std::string& name, std::string& path, std::string& why) const {
    if (resolve(name, path, why)) return true;
    std::string ignored;
    if (name.find('%') != std::string::npos && resolve(percentDecoded(name), path, ignored)) return true;
    if (why != "does not exist in the model's folder" && why.find("outside") == std::string::npos) return false;
    const std::string firstWhy = why;  // a name leading out is refused, even when nothing is found below
    const std::string base = fileNameOf(name);
    if (base.empty() || base == "." || base == "..") return false;
    // By its file name alone below the model's folder, then below --assets.
    for (const std::string* root : {&root_, &assetsRoot_}) {
        if (root->empty()) continue;
        std::error_code ec;
        int seen = 0;
        fs::recursive_directory_iterator it(*root, fs::directory_options::skip_permission_denied, ec), end;
        for (; !ec && it != end && seen < kSearchEntries; it.increment(ec), ++seen) {
            if (it.depth() >= kSearchDepth) it.disable_recursion_pending();
            if (sameIgnoringCase(it->path().filename().string(), base)) {
                std::string ignored;
                if (resolve(it->path().string(), path, ignored)) return true;
            }
        }
    }
    why = firstWhy.find("outside") != std::string::npos ? firstWhy : "does not exist in the model's folder or below it";
    return false;
}

FILE* ModelFolder::openRegular(const std::string& path, long long* size, std::string& why) {
    uint64_t bytes = 0;
    FileReadResult result;
    const int fd = openRegularFile(path, static_cast<uint64_t>(kMaxModelPartBytes), bytes, result, why);
    if (fd < 0) {
        if (result == FileReadResult::NotAFile) why = "is not a regular file";
        if (result == FileReadResult::TooLarge)
            why = "is larger than the " + std::to_string(kMaxModelPartBytes) + " bytes a model's file can have";
        return nullptr;
    }
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        why = "cannot be opened";
        close(fd);
        return nullptr;
    }
    if (size) *size = static_cast<long long>(bytes);
    return f;
}

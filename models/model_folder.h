// Where a model file may read from: its own folder and the folders below it, nothing else. A
// model from the internet names buffers, material libraries and textures, and none of them may
// take the program to the user's other files or hang it on a FIFO or device.
//
// The rule: a name is taken relative to the model's folder (or as given when absolute, as the
// importer passes names), backslashes read as slashes, and the file it names must, with every
// symbolic link followed, lie in the model's folder or below and be a regular file of at most
// kMaxModelPartBytes. A name that does not exist as written is matched without regard to case,
// one path component at a time; a texture is also looked for with its %XX escapes decoded, and
// by its file name alone anywhere below the folder (a few levels, a bounded number of entries),
// as models are often moved without their texture paths being changed.
#pragma once

#include <cstdio>
#include <string>

constexpr long long kMaxModelPartBytes = 1ll << 30;

class ModelFolder {
public:
    // The folder of `modelFile`, and `assets` (--assets: a folder the user allows as well, with the
    // same rules; empty for none).
    explicit ModelFolder(const std::string& modelFile, const std::string& assets = "");

    // The path to open for `name`, or false with the reason in `why` ("lies outside the model's
    // folder", "does not exist", "is not a regular file", ...).
    bool resolve(const std::string& name, std::string& path, std::string& why) const;
    // As resolve, then with a URI's %XX escapes decoded, then by file name alone below the folder.
    bool findTexture(const std::string& name, std::string& path, std::string& why) const;
    // Opens a resolved path for reading without ever blocking; null (with `why`) unless it is
    // still a regular file within the size limit.
    static FILE* openRegular(const std::string& path, long long* size, std::string& why);

    const std::string& root() const { return root_; }

private:
    std::string root_;      // canonical, without a trailing slash
    std::string realRoot_;  // the folder the model file itself lies in, links followed
    std::string assetsRoot_;  // --assets, canonical, or empty
    bool inside(const std::string& canonical) const;
    bool matchIgnoringCase(const std::string& relative, std::string& path) const;
};

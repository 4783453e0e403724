// libFuzzer target: any bytes as a model file, through the program's own entry (the import in a
// child process under its limits, the result decoded and built into a scene). The first byte
// picks the file's extension, so that every importer gets its turn. The child's own faults end
// the child, by design; what must hold is everything on this side: no crash, no hang, no leak,
// and a scene whose meshes name only vertices they have. An import takes a tenth of a second,
// so this target sees few inputs; fuzz_model_result gives the decoding its thousands.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "fuzz/scene_check.h"
#include "models/scene_factory.h"

namespace {

const char* const kExtensions[] = {"obj", "ply", "off", "stl", "gltf", "glb", "3ds", "dae", "fbx", "x", "ase", "md2", "lwo", "assbin"};
std::string madeDir;  // the run's own folder, removed when the run ends

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    constexpr size_t kFormats = sizeof kExtensions / sizeof *kExtensions;
    static const std::string dir = [] {
        char pattern[] = "/tmp/fuzz-model-XXXXXX";
        if (!mkdtemp(pattern)) return std::string("/tmp");
        madeDir = pattern;
        std::atexit([] { rmdir(madeDir.c_str()); });
        return madeDir;
    }();
    const std::string file = dir + "/model." + kExtensions[data[0] % kFormats];
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    if (Group* model = loadModel("Fuzz", file.c_str(), dir.c_str(), 1)) {
        checkMeshIndices(model);
        delete model;
    }
    std::remove(file.c_str());
    return 0;
}

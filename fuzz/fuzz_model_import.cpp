// libFuzzer target: any bytes as a model file, through the program's own entry (the import in a
// child process under its limits, the result decoded and built into a scene). A first byte
// below 14 picks the file's extension, so that every importer gets its turn. The child's own faults end
// the child, by design; what must hold is everything on this side: no crash, no hang, no leak,
// and a scene whose meshes name only vertices they have.
// Any other first byte gives the rest to this side directly, as the child's result: the bytes
// this process trusts least, at thousands of inputs a second rather than a few (an import takes
// a tenth of a second, and one the importer spins on the whole of its time limit).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "models/imported_model.h"
#include "models/scene_factory.h"

namespace {

const char* const kExtensions[] = {"obj", "ply", "off", "stl", "gltf", "glb", "3ds", "dae", "fbx", "x", "ase", "md2", "lwo", "assbin"};

void checkMeshes(const Node* n) {
    if (const auto* o = dynamic_cast<const Object*>(n))
        for (int i = 0; i < o->shapeCount(); ++i)
            if (const auto* mesh = dynamic_cast<const Mesh*>(o->shape(i)))
                for (const auto& s : mesh->triangleSets())
                    for (int k = 0; k < s->count(); ++k)
                        if (s->get(k) >= static_cast<uint32_t>(mesh->getVertexCount())) __builtin_trap();
    if (const auto* g = dynamic_cast<const Group*>(n))
        for (const Node* c : g->children()) checkMeshes(c);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    constexpr size_t kFormats = sizeof kExtensions / sizeof *kExtensions;
    if (data[0] >= kFormats) {
        ImportedModel model;
        std::string why;
        if (!decodeModel(data + 1, size - 1, model, why)) return 0;
        Group root;
        {
            SceneFactory factory;
            factory.setRoot(&root);
            factory.buildFrom(model, why);
        }
        checkMeshes(&root);
        return 0;
    }
    static const std::string dir = [] {
        char pattern[] = "/tmp/fuzz-model-XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "/tmp");
    }();
    const std::string file = dir + "/model." + kExtensions[data[0]];
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    if (Group* model = loadModel("Fuzz", file.c_str(), dir.c_str(), 1)) {
        checkMeshes(model);
        delete model;
    }
    std::remove(file.c_str());
    return 0;
}

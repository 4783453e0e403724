// libFuzzer target: any bytes as a model dropped on the page (glTF binary or text, or OBJ, picked
// by the first byte), through the page's reader, built natively. What must hold: no crash, no
// read outside a buffer, and a model whose faces name only vertices their mesh has, whose meshes
// name only materials there are, and whose nodes hang from earlier nodes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "web/page_model_import.h"

namespace {

const char* const kExtensions[] = {"glb", "gltf", "obj"};
std::string madeDir;  // the run's own folder, removed when the run ends

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const std::string dir = [] {
        char pattern[] = "/tmp/fuzz-page-model-XXXXXX";
        if (!mkdtemp(pattern)) return std::string("/tmp");
        madeDir = pattern;
        std::atexit([] { rmdir(madeDir.c_str()); });
        return madeDir;
    }();
    const std::string file = dir + "/model." + kExtensions[data[0] % 3];
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    ImportedModel model;
    std::string why;
    if (importPageModel(file, model, why)) {
        for (const ImportedMesh& mesh : model.meshes) {
            for (uint32_t v : mesh.faces)
                if (v >= static_cast<uint32_t>(mesh.vertexCount())) std::abort();
            if (mesh.material >= static_cast<int>(model.materials.size())) std::abort();
        }
        for (size_t i = 1; i < model.nodes.size(); ++i)
            if (model.nodes[i].parent < 0 || model.nodes[i].parent >= static_cast<int>(i)) std::abort();
        for (const ImportedMaterial& m : model.materials)
            if (m.picture >= static_cast<int>(model.pictures.size())) std::abort();
    }
    std::remove(file.c_str());
    return 0;
}

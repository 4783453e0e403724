// libFuzzer target: any bytes as the importer's result, straight into the decoding and the
// scene building. These are the bytes this process trusts least (the importer ran on a hostile
// file and may have been subverted), and here they run at thousands of inputs a second, where
// a whole import takes a tenth of a second. What must hold: no crash, no leak, no unbounded
// allocation, and a scene whose meshes name only vertices they have.
#include <cstdint>
#include <string>

#include "fuzz/scene_check.h"
#include "models/imported_model.h"
#include "models/scene_factory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImportedModel model;
    std::string why;
    if (!decodeModel(data, size, model, why)) return 0;
    Group root;
    {
        SceneFactory factory;
        factory.setRoot(&root);
        factory.buildFrom(model, why);
    }
    checkMeshIndices(&root);
    return 0;
}

// libFuzzer target: any bytes as an MD2 model, then a few animation steps over what was read.
#include <cstdint>
#include <vector>

#include "models/md2_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AnimModel model;
    std::string error;
    if (!parseMd2(std::vector<uint8_t>(data, data + size), model, error)) return 0;
    for (const TriFace& face : model.objects[0].faces)
        for (int k = 0; k < 3; ++k)
            if (face.vertIndex[k] >= model.objects[0].vertexCount) __builtin_trap();
    for (int i = 0; i < 3; ++i) model.currentFrame = nextAnimFrame(model);
    return 0;
}

// libFuzzer target: any bytes as a mesh file; what loads must name only vertices it has.
#include <cstdint>
#include <vector>

#include "scene/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> text(data, data + size);
    Mesh mesh;
    std::string error;
    if (!readMeshText(text, mesh, error)) return 0;
    const uint32_t vertices = static_cast<uint32_t>(mesh.getVertexCount());
    for (const auto* sets : {&mesh.triangleSets(), &mesh.stripSets()})
        for (const auto& s : *sets)
            for (int i = 0; i < s->count(); ++i)
                if (s->get(i) >= vertices) __builtin_trap();
    for (const VertexAttribArray* a : mesh.vertexData().arrays())
        if (a->count() != mesh.getVertexCount()) __builtin_trap();
    return 0;
}

// What every model fuzz target asks of a built scene: each triangle names only vertices its
// mesh has (a bad index would read outside the vertex buffer when drawn). Traps otherwise, so
// that libFuzzer keeps the input.
#pragma once

#include <cstdint>

#include "scene/node.h"
#include "scene/mesh.h"
#include "scene/object.h"

inline void checkMeshIndices(const Node* n) {
    if (const auto* o = dynamic_cast<const Object*>(n))
        for (int i = 0; i < o->shapeCount(); ++i)
            if (const auto* mesh = dynamic_cast<const Mesh*>(o->shape(i)))
                for (const auto& s : mesh->triangleSets())
                    for (int k = 0; k < s->count(); ++k)
                        if (s->get(k) >= static_cast<uint32_t>(mesh->getVertexCount())) __builtin_trap();
    if (const auto* g = dynamic_cast<const Group*>(n))
        for (const Node* c : g->children()) checkMeshIndices(c);
}

#include "models/imported_model.h"

std::vector<std::array<float, 16>> nodeWorldTransforms(const ImportedModel& model) {
    std::vector<std::array<float, 16>> world(model.nodes.size());
    for (size_t i = 0; i < model.nodes.size(); ++i) {
        const ImportedNode& node = model.nodes[i];
        std::array<float, 16>& m = world[i];
        if (node.parent < 0 || static_cast<size_t>(node.parent) >= i) {
            std::copy(node.transform, node.transform + 16, m.begin());
            continue;
        }
        // m = parent's world * node's own, column-major.
        const std::array<float, 16>& a = world[static_cast<size_t>(node.parent)];
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) {
                float sum = 0;
                for (int k = 0; k < 4; ++k) sum += a[4 * k + r] * node.transform[4 * c + k];
                m[4 * c + r] = sum;
            }
    }
    return world;
}

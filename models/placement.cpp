#include "models/placement.h"

void placeUprightOnTarget(const double modelview[16], double scale, const double anchor[3], double out[16]) {
    // Columns of P: x -> (k, 0, 0), y -> (0, 0, k), z -> (0, -k, 0), and the anchor's image
    // -k (ax, -az, ay) as the translation.
    const double k = scale;
    const double place[16] = {k, 0, 0, 0, 0, 0, k, 0, 0, -k, 0, 0, -k * anchor[0], k * anchor[2], -k * anchor[1], 1};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int i = 0; i < 4; ++i) sum += modelview[4 * i + r] * place[4 * c + i];
            out[4 * c + r] = sum;
        }
}

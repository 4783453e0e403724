#include "models/placement.h"

#include <algorithm>

#include "models/imported_model.h"

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

void turnUpToY(const AxisDirection& up, double R[9]) {
    // Rows of R: the images of x, y, z are its columns; each entry below is R[row][column].
    static const double kTurns[6][9] = {
        {0, -1, 0, 1, 0, 0, 0, 0, 1},   // +x
        {1, 0, 0, 0, 1, 0, 0, 0, 1},    // +y
        {1, 0, 0, 0, 0, 1, 0, -1, 0},   // +z
        {0, 1, 0, -1, 0, 0, 0, 0, 1},   // -x
        {1, 0, 0, 0, -1, 0, 0, 0, -1},  // -y
        {1, 0, 0, 0, 0, -1, 0, 1, 0},   // -z
    };
    const int axis = up.axis >= 0 && up.axis <= 2 ? up.axis : 1;
    const double* turn = kTurns[axis + (up.sign < 0 ? 3 : 0)];
    std::copy(turn, turn + 9, R);
}

void registeredModelMatrix(const double modelview[16], double out[16]) {
    const double origin[3] = {0, 0, 0};
    placeUprightOnTarget(modelview, kModelScale, origin, out);
}

#include "models/shown_model.h"

#include <algorithm>
#include <cmath>

#include "base/report.h"
#include "models/placement.h"

void fitToTarget(ShownModel& m) {
    if (!m.loaded || m.boxMin[0] > m.boxMax[0]) return;
    // A quarter turn takes the box's corners to the corners of the turned box.
    double R[9];
    turnUpToY(m.up, R);
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {corner & 1 ? m.boxMax[0] : m.boxMin[0], corner & 2 ? m.boxMax[1] : m.boxMin[1],
                             corner & 4 ? m.boxMax[2] : m.boxMin[2]};
        for (int r = 0; r < 3; ++r) {
            const double v = R[3 * r] * p[0] + R[3 * r + 1] * p[1] + R[3 * r + 2] * p[2];
            lo[r] = std::min(lo[r], v), hi[r] = std::max(hi[r], v);
        }
    }
    const double across = std::max(hi[0] - lo[0], hi[2] - lo[2]);
    m.scale = m.fixedScale > 0 ? m.fixedScale : across > 0 ? kShownModelSpanMm / across : 1.0;
    m.anchor[0] = (lo[0] + hi[0]) / 2;
    m.anchor[1] = lo[1];
    m.anchor[2] = (lo[2] + hi[2]) / 2;
}

AxisDirection parseUp(const std::string& text, AxisDirection otherwise) {
    if (text.size() != 2 || text[1] < 'x' || text[1] > 'z') return otherwise;
    return {text[1] - 'x', text[0] == '-' ? -1 : 1};
}

std::string upWords(AxisDirection up) { return std::string(up.sign < 0 ? "-" : "+") + static_cast<char>('x' + up.axis); }

void turnShownModel(ShownModel& m) {
    if (!m.loaded || m.isPlatform) return;
    static const AxisDirection kOrder[6] = {{1, 1}, {2, 1}, {1, -1}, {2, -1}, {0, 1}, {0, -1}};
    int at = 0;
    while (at < 6 && !(kOrder[at] == m.up)) ++at;
    m.up = kOrder[(at + 1) % 6];
    fitToTarget(m);
    reportNote("the model is drawn with its %s axis up (key u turns it on)", upWords(m.up).c_str());
}

void shownModelMatrix(const ShownModel& m, const double modelview[16], double out[16]) {
    double placed[16], R[9];
    placeUprightOnTarget(modelview, m.scale, m.anchor, placed);
    turnUpToY(m.up, R);
    // out = placed * [R 0; 0 1], column-major: column c of the product is placed times R's column c.
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += placed[4 * k + r] * (c < 3 ? R[3 * k + c] : 0.0);
            out[4 * c + r] = sum + (c == 3 ? placed[12 + r] : 0.0);
        }
}

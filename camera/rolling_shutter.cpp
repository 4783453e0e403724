#include "camera/rolling_shutter.h"


#include "camera/matrix.h"

double rowReadTime(double readOut, int height, double row) {
    return height < 2 ? 0.0 : readOut * (0.5 - row / (height - 1));
}

void motionBetween(const double Ra[9], const double Ta[3], const double Rb[9], const double Tb[3], double w[3],
                   double v[3]) {
    double Rbt[9], dR[9];
    mat3Transpose(Rb, Rbt);
    mat3Mul(Ra, Rbt, dR);
    rotationVectorOf(dR, w);
    for (int i = 0; i < 3; ++i) v[i] = Ta[i] - (dR[3 * i] * Tb[0] + dR[3 * i + 1] * Tb[1] + dR[3 * i + 2] * Tb[2]);
}

bool toMiddleRowTime(const RowMotion& m, const CameraIntrinsics& camera, double& x, double& y) {
    // The plane point under the pixel: the ray d = ((x - cx) / fx, (y - cy) / fy, 1) meets the plane
    // n . P = n . T, n = R's third column (the plane's normal in camera coordinates), at P = s d.
    const double d[3] = {(x - camera.cx) / camera.fx, (y - camera.cy) / camera.fy, 1.0};
    const double n[3] = {m.R[2], m.R[5], m.R[8]};
    const double nd = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
    const double s = nd != 0 ? (n[0] * m.T[0] + n[1] * m.T[1] + n[2] * m.T[2]) / nd : -1;
    if (!(s > 0)) return false;
    const double P[3] = {s * d[0], s * d[1], s};
    const double tau = rowReadTime(m.readOut, m.height, y);
    const double M[3] = {P[0] + tau * (m.w[1] * P[2] - m.w[2] * P[1] + m.v[0]),
                         P[1] + tau * (m.w[2] * P[0] - m.w[0] * P[2] + m.v[1]),
                         P[2] + tau * (m.w[0] * P[1] - m.w[1] * P[0] + m.v[2])};
    if (!(M[2] > 0)) return false;
    // The pixel shows M; the middle row's time shows P.
    x -= camera.fx * (M[0] / M[2] - P[0] / P[2]);
    y -= camera.fy * (M[1] / M[2] - P[1] / P[2]);
    return true;
}

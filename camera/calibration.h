// Tsai's coplanar camera calibration from reference points on a plane, and the reference
// point file it reads.
#pragma once

#include <string>
#include <vector>

constexpr int kMaxReferencePoints = 64;  // 2 n equations must fit the least-squares solver
// 64 points of four numbers, with room for comments and generous spacing.
constexpr size_t kMaxPointFileBytes = 64 * 1024;

// World points (Xw, Yw) on the plane Zw = 0 and their image positions (Xd, Yd) in pixels from
// the image centre.
struct ReferencePoints {
    std::vector<double> Xw, Yw, Xd, Yd;
    int count() const { return static_cast<int>(Xw.size()); }
};

// Reads "n" then n records "Xw Yw Xd Yd". False with a one-line reason (without the file name).
[[nodiscard]] bool readPointFile(const std::string& path, ReferencePoints& points, std::string& error);
// The same from the file's text.
[[nodiscard]] bool parsePointText(const std::string& text, ReferencePoints& points, std::string& error);

// The stages, in the order calibrateCoplanar runs them; U is their shared intermediate.
[[nodiscard]] int solveU(int n, const double* Xw, const double* Yw, const double* Xd, const double* Yd, double U[5]);
// Tx and Ty; 0 when U describes no rotation (a degenerate point set).
[[nodiscard]] int solveTy(int n, const double* Xd, const double* Yd, const double* Xw, const double* Yw, const double U[5],
            double T[3]);
// All of R from U and Ty; 0 when the rows cannot be completed to a rotation.
[[nodiscard]] int solveRotation(const double U[5], const double T[3], double R[9]);
// f and Tz.
[[nodiscard]] int solveFTz(int n, const double* Xw, const double* Yw, const double* Xd, const double* Yd, double* f, double T[3],
             const double R[9]);

// Answers 1 with f (pixels), T and R (world to camera), 0 when the points cannot calibrate a
// camera (singular systems, no real rotation, or a result that is not a camera in front of the
// plane).
[[nodiscard]] int calibrateCoplanar(int n, const double* Xw, const double* Yw, const double* Xd, const double* Yd, double* f,
                      double T[3], double R[9]);

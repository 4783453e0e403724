// Small numeric toolkits over plain arrays: a single-precision matrix library (row-major,
// sizes passed alongside), a double-precision linear solver with least squares, and 3 x 3
// rotation helpers.
//
// Rotations are 3 x 3 row-major doubles r1..r9 taking world coordinates to camera coordinates
// (Pc = R Pw + T). Angles are in radians, right-handed (counter-clockwise looking down the axis
// towards the origin).
#pragma once

// Result codes of the float routines that validate.
constexpr int kMatOk = 0;
constexpr int kMatNull = 1;
constexpr int kMatBadSize = 2;
constexpr int kMatSingular = 3;

float* matAlloc(int rows, int cols);
float* vecAlloc(int n);
void matFree(float* m);
void matCopy(const float* src, int rows, int cols, float* dst);
void vecCopy(const float* src, int n, float* dst);
void matIdentity(float* A, int rows, int cols);
void matDiagonal(float* A, int rows, int cols, float value);
void vecAdd(const float* a, const float* b, float* out, int n);
void vecSub(const float* a, const float* b, float* out, int n);
void vecDot(const float* a, const float* b, int n, float* out);
int matAdd(const float* A, const float* B, float* M, int rows, int cols);
int matMul(const float* A, int rowsA, int colsA, const float* B, int rowsB, int colsB, float* M);
int matVecMul(const float* A, const float* x, float* y, int rows, int cols);
// M = A B' (rowsA x rowsB).
int matMulTransposed(const float* A, int rowsA, int colsA, const float* B, int rowsB, int colsB, float* M);
// Inv = A^-1 by Gauss-Jordan elimination; A is not changed. kMatSingular when A has none.
int matInverse(const float* A, int n, float* Inv);
// The same, answering true when A had an inverse.
[[nodiscard]] inline bool invertedMatrix(const float* A, int n, float* Inv) { return matInverse(A, n, Inv) == kMatOk; }

// Published interface: the rest of the float library, for outside callers (exercises, a filter
// of their own). The program itself does not call these; they are kept, tested, and stable.
void vecFree(float* v);
void vecScale(const float* src, float* dst, int n, float s);
int matSub(const float* A, const float* B, float* M, int rows, int cols);
int matScale(const float* A, float* M, int rows, int cols, float s);
int matTranspose(const float* A, int rows, int cols, float* M);
float matTrace(const float* A, int n);
float matDeterminant(const float* A, int n);

// Capacities of the double solvers.
constexpr int kSolveStride = 137;     // row stride (and largest order) of solveLinear's matrix
constexpr int kLsqMaxRows = 128;
constexpr int kLsqMaxVars = 5;

// Gaussian elimination with scaled partial pivoting on A (row stride kSolveStride). Answers 0
// with the solution in b, -1 for a numerically zero row or last pivot, 1 for a column without a
// usable pivot. A and b are overwritten.
int solveLinear(int n, double* A, double* b);
// The same, answering true when solved: the form our code calls (docs/conventions.md, "Results").
[[nodiscard]] inline bool solvedLinear(int n, double* A, double* b) { return solveLinear(n, A, b) == 0; }
// m equations (rows of A, stride kLsqMaxVars) in k <= 5 variables by the normal equations.
// Answers 1 with the results in b[0..k-1], 0 when the system is singular or too large.
[[nodiscard]] int leastSquares(int m, int k, const double* A, double* b);

// Angles (a, b, g): the rotation about z by g after y by b after x by a.
void rotationToAngles(const double R[9], double angles[3]);
void anglesToRotation(const double angles[3], double R[9]);
void mat3Transpose(const double in[9], double out[9]);
void mat3Mul(const double A[9], const double B[9], double M[9]);
// The angle of the rotation between A and B, in degrees: acos((trace(A B') - 1) / 2), the
// cosine clamped against rounding.
double rotationAngleBetween(const double A[9], const double B[9]);

// R = exp([w]x), Rodrigues' formula: the rotation by |w| radians about w. Row-major.
void rotationFromVector(const double w[3], double R[9]);
// Its inverse: the rotation vector (axis times angle, the angle in [0, pi]) of R.
void rotationVectorOf(const double R[9], double w[3]);
// The camera point Pc = R (X, Y, 0) + T of a point on the target's plane Zw = 0 (millimetres).
inline void planePointToCamera(const double R[9], const double T[3], double X, double Y, double Pc[3]) {
    Pc[0] = R[0] * X + R[1] * Y + T[0];
    Pc[1] = R[3] * X + R[4] * Y + T[1];
    Pc[2] = R[6] * X + R[7] * Y + T[2];
}

// Standing a model on the target: the one placement of a model's own frame in the target frame
// that the character and a user's model share (docs/conventions.md, "World, camera and model
// axes"). Matrices are column-major doubles, as OpenGL's.
#pragma once

// out = modelview (target frame: z towards the camera, above the target; millimetres) times
//     P = Rx(+90 deg) S(scale) (Pm - anchor),   Rx(+90 deg): (x, y, z) -> (x, -z, y),
// so the model's +y (its up) becomes the target frame's +z, `scale` is millimetres a model unit,
// and the model point `anchor` lands on the target's origin.
void placeUprightOnTarget(const double modelview[16], double scale, const double anchor[3], double out[16]);

// The character's size: millimetres a unit of its MD2 file.
constexpr float kModelScale = 4.5f;
// The modelview that puts the character on the target: placeUprightOnTarget with kModelScale and
// the character's origin (the middle of its feet) at the target's origin.
void registeredModelMatrix(const double modelview[16], double out[16]);

struct AxisDirection;

// The quarter turn R (row-major 3 x 3) that takes a model's `up` axis to +y, so that a model whose
// file has another axis up stands upright through placeUprightOnTarget(...) R:
//   +y  none                                  -y  Rx(180): (x, y, z) -> (x, -y, -z)
//   +z  Rx(-90): (x, y, z) -> (x, z, -y)      -z  Rx(+90): (x, y, z) -> (x, -z, y)
//   +x  Rz(+90): (x, y, z) -> (-y, x, z)      -x  Rz(-90): (x, y, z) -> (y, -x, z)
// With +z up (3DS, STL), the file's -y (the front, by that convention) comes to face +z.
void turnUpToY(const AxisDirection& up, double R[9]);

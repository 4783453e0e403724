// Standing a model on the target: the one placement of a model's own frame in the target frame
// that the character and a user's model share (docs/conventions.md, "World, camera and model
// axes"). Matrices are column-major doubles, as OpenGL's.
#pragma once

// out = modelview (target frame: z towards the camera, above the target; millimetres) times
//     P = Rx(+90 deg) S(scale) (Pm - anchor),   Rx(+90 deg): (x, y, z) -> (x, -z, y),
// so the model's +y (its up) becomes the target frame's +z, `scale` is millimetres a model unit,
// and the model point `anchor` lands on the target's origin.
void placeUprightOnTarget(const double modelview[16], double scale, const double anchor[3], double out[16]);

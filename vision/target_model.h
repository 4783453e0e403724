// The printed target: a dark rectangle 182 x 160 mm with a light rectangle cut out of it off its
// centre. Millimetres on the target's plane, its middle at the origin, X along the long side,
// Y towards the far edge of the sheet (docs/conventions.md, "World, camera and model axes").
#pragma once

// The eight corners in the order the target points give them: the inner (light) rectangle's
// four, then the outer rectangle's four, each counter-clockwise from (+X, +Y).
constexpr double kTargetCornerMm[8][2] = {{56, 56}, {-68, 56}, {-68, -18}, {56, -18},
                                          {91, 80}, {-91, 80}, {-91, -80}, {91, -80}};

// The printed target: a dark rectangle 182 x 160 mm with a light rectangle cut out of it off its
// centre. Millimetres on the target's plane, its middle at the origin, X along the long side,
// Y towards the far edge of the sheet (docs/conventions.md, "World, camera and model axes").
#pragma once

// The outer dark rectangle, centred, and the light rectangle cut out of it.
constexpr double kTargetOuterHalfX = 91.0, kTargetOuterHalfY = 80.0;
constexpr double kTargetInnerMinX = -68.0, kTargetInnerMaxX = 56.0;
constexpr double kTargetInnerMinY = -18.0, kTargetInnerMaxY = 56.0;
// The sheet it is printed on: A4 landscape, centred on the target.
constexpr double kSheetHalfX = 148.5, kSheetHalfY = 105.0;

// The eight corners in the order the target points give them: the inner (light) rectangle's
// four, then the outer rectangle's four, each counter-clockwise from (+X, +Y).
constexpr double kTargetCornerMm[8][2] = {
    {kTargetInnerMaxX, kTargetInnerMaxY},   {kTargetInnerMinX, kTargetInnerMaxY},
    {kTargetInnerMinX, kTargetInnerMinY},   {kTargetInnerMaxX, kTargetInnerMinY},
    {kTargetOuterHalfX, kTargetOuterHalfY}, {-kTargetOuterHalfX, kTargetOuterHalfY},
    {-kTargetOuterHalfX, -kTargetOuterHalfY}, {kTargetOuterHalfX, -kTargetOuterHalfY}};

// The model drawn on the target with key "b": the platform by default, or a model file of the
// user's (--model FILE, any format the model reader takes), fitted to the target: centred on it,
// its lowest point on the target's plane, its +y up, and scaled so that its larger side across
// the target is kShownModelSpanMm.
#pragma once

#include <string>

class Group;

constexpr double kShownModelSpanMm = 160.0;

struct ShownModel {
    Group* root = nullptr;
    bool isPlatform = true;
    // The user's model: model-frame millimetres per model unit, and the model point put at the
    // target's origin.
    double scale = 1.0;
    double anchor[3] = {0, 0, 0};
    int triangles = 0;
    double loadSeconds = 0;
};

// Loads the platform, or `modelFile` when it is not empty; false (after one message) when it
// cannot be read. `dumpFile`, when not empty, gets the loaded scene's description and its mesh
// files (FILE's name without extension, then _meshN.msh).
bool loadShownModel(const std::string& modelFile, const std::string& dumpFile, ShownModel& out);
// Fits a user's model to the target (ShownModel's scale and anchor) from its bounds.
void fitToTarget(ShownModel& model);
// The modelview that draws a user's model on the target: its +y up, scaled, its anchor at the
// target's origin (models/placement.h).
void shownModelMatrix(const ShownModel& model, const double modelview[16], double out[16]);
// Draws it in the live slot with the camera matrices (the target frame, millimetres).
void drawShownModel(const ShownModel& model, const double modelview[16], const double projection[16]);

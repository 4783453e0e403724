// The model drawn on the target with key "b": the platform by default, or a model file of the
// user's, fitted to the target: turned so that its up axis (--up, else as its file declares; key
// u turns it on) points up, centred on the target, its lowest point on the target's plane, and
// scaled so that its larger side across the target is kShownModelSpanMm (or at --scale
// millimetres a unit). Plain data and plain maths: the window and the page each draw it their
// own way.
#pragma once

#include <string>

#include "models/imported_model.h"

class Group;

constexpr double kShownModelSpanMm = 160.0;

struct ShownModel {
    Group* root = nullptr;  // the window's scene (null in the page, which keeps its own meshes)
    bool isPlatform = true;
    bool loaded = false;    // a model is there to draw
    // The model's bounds in its file's axes and units.
    double boxMin[3] = {0, 0, 0}, boxMax[3] = {0, 0, 0};
    // The user's model: model-frame millimetres per model unit, and the model point put at the
    // target's origin.
    double scale = 1.0;
    double anchor[3] = {0, 0, 0};  // in the turned model's frame
    AxisDirection up;              // the model's axis drawn up
    double fixedScale = 0;         // --scale, or 0 to fit
    int triangles = 0;
    double loadSeconds = 0;
    bool dumpFailed = false;  // --dump-scene could not be written (the run ends with a failure status)
};

// Fits a user's model to the target (ShownModel's scale and anchor) from its bounds, turned.
void fitToTarget(ShownModel& model);
// Key u: the next of the six axes up (+y, +z, -y, -z, +x, -x: a quarter turn about x through the
// first four), refitted; one note line says which.
void turnShownModel(ShownModel& model);
// The modelview that draws a user's model on the target: turned, scaled, its anchor at the
// target's origin (models/placement.h).
void shownModelMatrix(const ShownModel& model, const double modelview[16], double out[16]);

// "+x" ... "-z" to an axis; `otherwise` for anything else (an empty --up: the file's own).
AxisDirection parseUp(const std::string& text, AxisDirection otherwise);
std::string upWords(AxisDirection up);

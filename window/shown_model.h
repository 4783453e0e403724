// Loading and drawing the model on the target (models/shown_model.h): the platform by default, or
// a model file of the user's (--model FILE, any format the model reader takes).
#pragma once

#include <string>

#include "models/shown_model.h"

// Loads the platform, or `modelFile` when it is not empty; false (after one message) when it
// cannot be read. `dumpFile`, when not empty, gets the loaded scene's description and its mesh
// files (FILE's name without extension, then _meshN.msh).
// `up` ("+x" ... "-z", or empty for the file's own) and `scale` (millimetres a unit, or 0 to fit)
// place a user's model. False also when writing the scene description fails (after one message;
// the model is loaded).
struct ShownModelRequest {
    std::string modelFile, dumpFile, up;
    double scale = 0;
    std::string assets;  // --assets: a folder the model may read from as well as its own
};
bool loadShownModel(const ShownModelRequest& request, ShownModel& out);
// Draws it in the live slot with the camera matrices (the target frame, millimetres).
void drawShownModel(const ShownModel& model, const double modelview[16], const double projection[16]);

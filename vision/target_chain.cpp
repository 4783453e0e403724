#include "vision/target_chain.h"

void runTargetChain(Tracker& t) {
    t.markOutputAbsent();
    t.smoothImage();
    t.convertToGrey();
    t.sobelEdges(240);
    t.labelContours();
    t.identifyTarget();
    t.drawContours();
}

#include "vision/target_chain.h"

void findOutlines(Tracker& t) {
    t.smoothGreySobel(kSobelThreshold);
    t.labelContours();
    t.identifyTarget();
}

void runTargetChain(Tracker& t) {
    findOutlines(t);
    t.drawContours();
}

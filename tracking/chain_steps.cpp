#include "tracking/chain_steps.h"

#include "vision/tracker.h"

void runChainSteps(Tracker& t, const ChainSteps& s, int threshold) {
    // Lens correction and smoothing are the steps that produce `output`; when neither runs, the
    // second slot shows the live frame. Smoothing, grey and Sobel straight after one another run
    // as one pass over the frame.
    const bool smoothGreySobel = s.smoothing && s.sobel && !s.lensCorrection && !s.thinEdges;
    if (s.lensCorrection) {
        t.applyLensCorrection();
    } else {
        t.markOutputAbsent();
    }
    if (smoothGreySobel) {
        t.smoothGreySobel(threshold);
    } else if (s.smoothing) {
        t.smoothImage();
        t.convertToGrey();
    }
    // The later steps work on `output`. Without one (e.g. "s" alone) they get a grey copy of
    // the live frame.
    if (s.thinEdges || s.sobel || s.outlines || s.outputNeeded) t.ensureGreyOutput();
    if (s.thinEdges) t.thinEdges(150, 100);
    if (s.sobel && !smoothGreySobel) t.sobelEdges(threshold);
    if (s.outlines) {
        t.labelContours();
        t.identifyTarget();
    }
}

// The one frame-processing object: the image being processed, the processed image shown in
// the second display slot, every work buffer of the per-frame steps, the target points handed
// to the pose code and the camera matrices it writes back.
//
// Layout: `input` and `output` are frames of `width` x `height` pixels, B G R, rows packed,
// row 0 at the bottom (docs/conventions.md, "Frames"). Every per-pixel work array (Sobel sums,
// gradients, labels, lens tables) has one entry a pixel at index row * width + col, and is
// allocated on first use at the current size, kept, and dropped by setFrameSize when the size
// changes. Point lists hold buffer indices (row, col).
//
// Step order in one frame pass (the frame loop calls only the steps whose keys are on):
// applyLensCorrection (r) -> smoothImage, convertToGrey (g) -> thinEdges (c) -> sobelEdges (s)
// -> labelContours, identifyTarget, [pose, point log], drawContours (x) -> labelRegions,
// markExtremes (p) -> detectCorners (e) -> houghLines (h). The steps after smoothing work on
// `output`, which holds black edges on white once the edge steps have run. With g and s on and
// r and c off, smoothGreySobel does the three steps from smoothing to Sobel in one pass.
//
// Units: pixels; thresholds are on squared Sobel sums (sobelEdges) and on the corner response
// (detectCorners); the angle tables are indexed in whole degrees.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// A point of any point list of the image steps. `value` depends on the list: a label, a corner
// response, or a validity mark (0 valid, -1 none).
struct PointRecord {
    int32_t row = 0;
    int32_t col = 0;
    int32_t spare1 = 0;
    int32_t spare2 = 0;
    int32_t value = -1;
};

// One selected closed outline: its solid pixels, convex hull, polygon vertices and centre.
struct Contour {
    std::vector<PointRecord> points;
    int32_t pointCount = 0;
    std::vector<PointRecord> hull;
    int32_t hullCount = 0;
    std::vector<PointRecord> vertices;
    int32_t vertexCount = 0;
    PointRecord centre{999, 999, 0, 0, -1};
};

struct ContourList {
    std::vector<Contour> items;
    int32_t count = 0;
};

// The Sobel step's threshold (key s): a Sobel magnitude, sharp print edges on a webcam's frame
// clear it and sensor noise does not.
constexpr int kSobelThreshold = 240;
constexpr int kCornerCapacity = 30000;
constexpr int kClosedHitLabels = 100;
constexpr int kTargetPoints = 10;
constexpr int kAngleTableSize = 360;

class Tracker {
public:
    Tracker();

    // Sets the frame size. A change of size drops every per-pixel buffer (they come back at the
    // new size on first use), so no step ever indexes a buffer of the old size.
    void setFrameSize(int newHeight, int newWidth);

    // `output` exists only between the step that allocates it and the next pass that marks it
    // absent; its storage is kept for reuse either way.
    void ensureOutput();
    void markOutputAbsent() { output = nullptr; }
    int pixelCount() const { return height * width; }
    // `output` as the steps after smoothing need it: when no earlier step made one this pass,
    // a grey copy of `input`, so that they never work on (or paint into) the live frame.
    void ensureGreyOutput();

    // --- lens correction, smoothing, grey ---
    void applyLensCorrection();
    void smoothImage();
    void convertToGrey();
    bool hasLensTables() const;

    // --- edge maps ---
    // The second argument is part of the published interface and has no effect.
    void thinEdges(int threshold, int unused);
    void sobelEdges(int threshold);
    // smoothImage, convertToGrey and sobelEdges(threshold) from `input` as a pass's first steps
    // (it marks `output` absent first), with the same result, in one pass over the frame.
    void smoothGreySobel(int threshold);

    // --- closed contours and the target ---
    void labelContours();
    void fillLabel(int row, int col, int label, int steps);
    void computeHulls();
    void findVertices();
    void findCentres();
    void identifyTarget();
    void drawContours();

    // --- corners ---
    void detectCorners(int threshold, int window);
    void sortCorners(int lo, int hi);
    void suppressCorners(int window);

    // --- regions ---
    void labelRegions();
    void markExtremes();
    int selectedIndex(int label) const;

    // --- line Hough picture ---
    // The second argument is part of the published interface and has no effect.
    void houghLines(int rhoBins, int unused);

    // --- images ---
    unsigned char* input = nullptr;  // not owned: the application's frame buffer
    unsigned char* output = nullptr;       // points into outputStorage while present

    // --- work arrays, allocated on first use and kept ---
    std::vector<float> gradMagnitude, gradDirection, thinMagnitude;
    std::vector<int32_t> diffRow, diffCol;
    // The Sobel step's two derivatives (sobelEdges), one a pixel, 0 on the border. The fused pass
    // (smoothGreySobel), which the frame loop runs when nothing shows them, leaves them as they were.
    std::vector<int32_t> sobelRow, sobelCol;
    std::vector<PointRecord> corners;
    int32_t cornerCount = 0;
    std::vector<int32_t> labels;
    std::vector<int32_t> labelSizes;
    PointRecord fillSeed;
    std::vector<int32_t> closedHits;
    std::vector<int32_t> selectedLabels;
    int32_t selectedCount = 0;
    ContourList* contours = nullptr;

    // --- target and camera ---
    uint8_t targetFound = 0;
    std::vector<PointRecord> targetPoints;  // empty until the first target step
    int32_t targetPointCount = kTargetPoints;
    double modelview[16];
    double projection[16];
    float focalLength = 0.0f;

    std::vector<PointRecord> extremePoints;
    std::vector<int32_t> houghVotes;
    int32_t houghRhoBins = 0;
    int32_t houghAngleBins = 360;
    int32_t houghAngleSteps = 360;

    int32_t height = 0;
    int32_t width = 0;

    FILE* console = stdout;  // where the region count is printed

    float cosTable[kAngleTableSize];
    float sinTable[kAngleTableSize];

    std::vector<int32_t> lensIndex, lensIndexX, lensIndexY;
    std::vector<float> lensGain, lensWeight, lensWeightX, lensWeightY;

private:
    std::vector<unsigned char> outputStorage;
    // The fill's explicit stack, a field an array (row, column, steps, next neighbour), kept
    // between passes.
    std::vector<int32_t> fillRows, fillCols, fillSteps, fillNext;
    ContourList contourStorage;             // reused by every pass of the contour chain
    std::vector<int32_t> selectedSlot;      // label -> index in selectedLabels, or -1
    std::vector<uint8_t> edgePlane;         // the grey plane the Sobel sums read (channel 0 of output)
    std::vector<uint8_t> smoothedRow;       // one smoothed row of B G R pixels
    std::vector<uint8_t> edgeRow;           // one row's edge verdicts
    std::vector<int16_t> sobelSums;         // three rows of the Sobel step's partial sums
    std::vector<uint64_t> openBits;         // the fill's black-and-unlabelled pixels, a bit each
    int openWords = 0;                      // 64-bit words a row of openBits takes
    std::vector<uint8_t> openPlane;         // one row's black pixels a bit each, on their way into openBits
    std::vector<int32_t> labelledPixels;    // every pixel labelled this pass, label by label
    std::vector<int32_t> labelStart;        // label -> its first entry in labelledPixels
    std::vector<int32_t> pixelOrder;        // one outline's pixels, sorted into scan order
    std::vector<int32_t> sortScratch;       // the radix sort's middle pass
    void sortIntoScanOrder(const int32_t* pixels, int count);
    void releasePixelBuffers();
    void sobelOfPlane(int threshold, bool keepDerivatives);
    void labelBlackPixels();
    void countAndWhiten();
    void selectClosedLabels();
};

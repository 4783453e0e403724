// Writes the printable target at true size: an SVG and a PDF of an A4 landscape page with the
// dark 182 x 160 mm rectangle and its light 124 x 74 mm window, and a line saying how to print
// it. Usage: make_target OUTPUT_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "capture/virtual_scene.h"

namespace {

constexpr double kPageWidth = 2 * kSheetHalfX, kPageHeight = 2 * kSheetHalfY;  // mm
constexpr const char* kPrintLine =
    "Print at 100 % (actual size, no fitting) on white A4 paper, landscape. The dark frame must measure 182 x 160 mm.";

// Page coordinates (mm, y down) of a target-plane point: as a camera looking at the page sees
// it, the plane's y axis points up the page.
double pageX(double X) { return X + kSheetHalfX; }
double pageY(double Y) { return kSheetHalfY - Y; }

bool writeSvg(const std::string& path) {
    FILE* out = std::fopen(path.c_str(), "w");
    if (!out) return false;
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.1fmm\" height=\"%.1fmm\" viewBox=\"0 0 %.1f %.1f\">\n"
                 "  <title>Tovrak target</title>\n"
                 "  <rect x=\"0\" y=\"0\" width=\"%.1f\" height=\"%.1f\" fill=\"#ffffff\"/>\n",
                 kPageWidth, kPageHeight, kPageWidth, kPageHeight, kPageWidth, kPageHeight);
    // The frame as one path with the window cut out (even-odd), so nothing is drawn twice.
    std::fprintf(out,
                 "  <path fill=\"#000000\" fill-rule=\"evenodd\" d=\"M %.1f %.1f H %.1f V %.1f H %.1f Z "
                 "M %.1f %.1f H %.1f V %.1f H %.1f Z\"/>\n",
                 pageX(-kTargetOuterHalfX), pageY(kTargetOuterHalfY), pageX(kTargetOuterHalfX), pageY(-kTargetOuterHalfY),
                 pageX(-kTargetOuterHalfX), pageX(kTargetInnerMinX), pageY(kTargetInnerMaxY), pageX(kTargetInnerMaxX),
                 pageY(kTargetInnerMinY), pageX(kTargetInnerMinX));
    std::fprintf(out,
                 "  <text x=\"%.1f\" y=\"%.1f\" font-family=\"Helvetica, Arial, sans-serif\" font-size=\"3.5\" "
                 "text-anchor=\"middle\" fill=\"#808080\">%s</text>\n</svg>\n",
                 kPageWidth / 2, kPageHeight - 6.0, kPrintLine);
    return std::fclose(out) == 0;
}

// A one-page PDF drawn with path operators in points (1/72 inch), y up.
bool writePdf(const std::string& path) {
    const double pt = 72.0 / 25.4;
    char buf[1024];
    std::string content;
    std::snprintf(buf, sizeof buf, "0 g\n%.3f %.3f %.3f %.3f re\n%.3f %.3f %.3f %.3f re\nf*\n",
                  pageX(-kTargetOuterHalfX) * pt, (kSheetHalfY - kTargetOuterHalfY) * pt, 2 * kTargetOuterHalfX * pt,
                  2 * kTargetOuterHalfY * pt, pageX(kTargetInnerMinX) * pt, (kSheetHalfY + kTargetInnerMinY) * pt,
                  (kTargetInnerMaxX - kTargetInnerMinX) * pt, (kTargetInnerMaxY - kTargetInnerMinY) * pt);
    content += buf;
    std::snprintf(buf, sizeof buf, "0.5 g\nBT /F1 10 Tf %.3f %.3f Td (%s) Tj ET\n", 20.0 * pt, 4.0 * pt, kPrintLine);
    content += buf;

    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    std::snprintf(buf, sizeof buf,
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.3f %.3f] /Contents 4 0 R "
                  "/Resources << /Font << /F1 5 0 R >> >> >>",
                  kPageWidth * pt, kPageHeight * pt);
    objects.push_back(buf);
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");

    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", off);
        pdf += buf;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(pdf.data(), 1, pdf.size(), out) == pdf.size();
    return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_target OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (!writeSvg(dir + "/target.svg") || !writePdf(dir + "/target.pdf")) {
        std::perror(dir.c_str());
        return 1;
    }
    return 0;
}

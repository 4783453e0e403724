// Writes one small test picture in every format the image-file reader takes, for its tests and
// the fuzzer's seeds: picture.png, picture.jpg, picture.tif, picture.bmp, and grey.tif (8-bit
// grey) and palette.png. The picture is 48 x 32: its top half red, its bottom half blue, a green
// band down the left eighth, so that a reader that flips rows, mirrors columns or swaps channels
// shows it. Usage: make_pictures FOLDER
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 48, kHeight = 32;

// R G B of pixel (x, y), y counted from the top.
void colourAt(int x, int y, unsigned char rgb[3]) {
    rgb[0] = rgb[1] = rgb[2] = 0;
    if (x < kWidth / 8) rgb[1] = 255;
    else if (y < kHeight / 2) rgb[0] = 255;
    else rgb[2] = 255;
}

std::vector<unsigned char> topDownRgb() {
    std::vector<unsigned char> rgb(kWidth * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) colourAt(x, y, &rgb[3 * (y * kWidth + x)]);
    return rgb;
}

bool writePng(const std::string& path, bool palette) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = kWidth, img.height = kHeight;
    const std::vector<unsigned char> rgb = topDownRgb();
    if (!palette) {
        img.format = PNG_FORMAT_RGB;
        return png_image_write_to_file(&img, path.c_str(), 0, rgb.data(), 0, nullptr);
    }
    // Three colours through a colour map.
    const unsigned char map[3][3] = {{0, 255, 0}, {255, 0, 0}, {0, 0, 255}};
    std::vector<unsigned char> index(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i) index[i] = rgb[3 * i + 1] ? 0 : rgb[3 * i] ? 1 : 2;
    img.format = PNG_FORMAT_RGB_COLORMAP;
    img.colormap_entries = 3;
    return png_image_write_to_file(&img, path.c_str(), 0, index.data(), 0, map);
}

bool writeJpeg(const std::string& path) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = kWidth, info.image_height = kHeight;
    info.input_components = 3, info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> rgb = topDownRgb();
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &rgb[info.next_scanline * kWidth * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

bool writeTiff(const std::string& path, bool grey) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, grey ? 1 : 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    const std::vector<unsigned char> rgb = topDownRgb();
    std::vector<unsigned char> row(kWidth * 3);
    bool ok = true;
    for (int y = 0; y < kHeight && ok; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* p = &rgb[3 * (y * kWidth + x)];
            if (grey) row[x] = static_cast<unsigned char>((p[0] + p[1] + p[2]) / 3);
            else row[3 * x] = p[0], row[3 * x + 1] = p[1], row[3 * x + 2] = p[2];
        }
        ok = TIFFWriteScanline(tif, row.data(), y, 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

void put(std::vector<unsigned char>& b, unsigned v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

bool writeBmp(const std::string& path) {
    const int rowBytes = (kWidth * 3 + 3) & ~3;
    std::vector<unsigned char> b = {'B', 'M'};
    put(b, 54 + rowBytes * kHeight, 4), put(b, 0, 4), put(b, 54, 4);
    put(b, 40, 4), put(b, kWidth, 4), put(b, kHeight, 4), put(b, 1, 2), put(b, 24, 2);
    put(b, 0, 4), put(b, rowBytes * kHeight, 4), put(b, 0, 4), put(b, 0, 4), put(b, 0, 4), put(b, 0, 4);
    const std::vector<unsigned char> rgb = topDownRgb();
    for (int y = kHeight - 1; y >= 0; --y) {  // bitmaps store the bottom row first, B G R
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* p = &rgb[3 * (y * kWidth + x)];
            b.push_back(p[2]), b.push_back(p[1]), b.push_back(p[0]);
        }
        for (int pad = kWidth * 3; pad < rowBytes; ++pad) b.push_back(0);
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), out) == b.size();
    return (std::fclose(out) == 0) && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures FOLDER\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const bool ok = writePng(dir + "picture.png", false) && writePng(dir + "palette.png", true) &&
                    writeJpeg(dir + "picture.jpg") && writeTiff(dir + "picture.tif", false) &&
                    writeTiff(dir + "grey.tif", true) && writeBmp(dir + "picture.bmp");
    if (!ok) std::fprintf(stderr, "make_pictures: cannot write the pictures into %s\n", argv[1]);
    return ok ? 0 : 1;
}

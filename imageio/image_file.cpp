#include "imageio/image_file.h"

#include <tiffio.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imageio/dib_file.h"
#include "imageio/jpeg_codec.h"
#include "imageio/png_file.h"
#include "base/regular_file.h"

namespace {

struct Picture {
    int width = 0, height = 0, type = kImageTypeRgb, palette = 0;
    std::vector<uint8_t> rgb;  // width x height x 3, bottom row first; empty after an info read
    bool truncated = false;
};

bool sizeAllowed(long long w, long long h) {
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxImagePixels;
}

// --- PNG ---

int readPng(const std::vector<uint8_t>& bytes, bool pixels, Picture& out) {
    PngHeader header;
    std::string why;
    const int result = decodePng(bytes, RowOrder::BottomFirst, header, pixels ? &out.rgb : nullptr, why);
    out.width = header.width, out.height = header.height, out.type = header.type, out.palette = header.paletteSize;
    return result;
}

// --- JPEG ---

int readJpeg(const std::vector<uint8_t>& bytes, bool pixels, Picture& out) {
    JpegInfo info;
    JpegResult result = decodeJpeg(bytes.data(), bytes.size(), ChannelOrder::Rgb, UINT64_MAX, info);
    out.width = info.width, out.height = info.height, out.palette = 0;
    out.type = info.components == 1 ? kImageTypeGrey : kImageTypeRgb;
    if (result != JpegResult::Ok) return kImageDamaged;
    if (!sizeAllowed(info.width, info.height)) return kImageTooLarge;
    if (!pixels) return kImageOk;
    out.rgb.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
    result = decodeJpeg(bytes.data(), bytes.size(), ChannelOrder::Rgb, UINT64_MAX, info, out.rgb.data(), out.rgb.size());
    out.truncated = info.truncated;
    return result == JpegResult::Ok ? kImageOk : kImageDamaged;
}

// --- TIFF, read from memory through libtiff's client callbacks ---

struct MemoryFile {
    const std::vector<uint8_t>* bytes;
    toff_t at;
};

tsize_t tiffRead(thandle_t h, tdata_t buffer, tsize_t size) {
    auto* m = static_cast<MemoryFile*>(h);
    const toff_t left = m->at < m->bytes->size() ? m->bytes->size() - m->at : 0;
    const toff_t n = static_cast<toff_t>(size) < left ? static_cast<toff_t>(size) : left;
    if (n) std::memcpy(buffer, m->bytes->data() + m->at, n);
    m->at += n;
    return static_cast<tsize_t>(n);
}
tsize_t tiffWrite(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t tiffSeek(thandle_t h, toff_t offset, int whence) {
    auto* m = static_cast<MemoryFile*>(h);
    const toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->bytes->size();
    m->at = base + offset;
    return m->at;
}
int tiffClose(thandle_t) { return 0; }
toff_t tiffSize(thandle_t h) { return static_cast<MemoryFile*>(h)->bytes->size(); }
int tiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void tiffUnmap(thandle_t, tdata_t, toff_t) {}

// libtiff decodes a whole strip or tile at a time, and a header can claim one far larger than
// the picture: thousands of samples a pixel, or tiles much bigger than the image. No picture
// within the size limits needs more than 16-bit R G B A in one strip of all its rows.
constexpr uint64_t kMaxTiffChunkBytes = static_cast<uint64_t>(kMaxImagePixels) * 8;

bool tiffChunksAllowed(TIFF* tif) {
    const uint64_t chunk = TIFFIsTiled(tif) ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
    uint16_t samples = 1, planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    // Separate planes are decoded one chunk of each at a time.
    const uint64_t planes = planar == PLANARCONFIG_SEPARATE && samples > 0 ? samples : 1;
    return chunk > 0 && chunk <= kMaxTiffChunkBytes / planes;
}

int readTiff(const std::vector<uint8_t>& bytes, bool pixels, Picture& out) {
    // libtiff reports through global handlers; the one-line message is ours.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    MemoryFile memory{&bytes, 0};
    TIFF* tif = TIFFClientOpen("texture", "rm", &memory, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                               tiffUnmap);
    if (!tif) return kImageDamaged;
    uint32_t w = 0, h = 0;
    uint16_t photometric = PHOTOMETRIC_RGB, bits = 8;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    out.width = static_cast<int>(w), out.height = static_cast<int>(h);
    out.type = photometric == PHOTOMETRIC_PALETTE ? kImageTypePalette
               : photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ? kImageTypeGrey
                                                                                                 : kImageTypeRgb;
    out.palette = photometric == PHOTOMETRIC_PALETTE && bits <= 16 ? 1 << bits : 0;
    int result = sizeAllowed(w, h) ? kImageOk : kImageTooLarge;
    // Checked for the header alone too, so that nobody sizes planes for a picture that cannot load.
    if (result == kImageOk && !tiffChunksAllowed(tif)) result = kImageDamaged;
    if (result == kImageOk && pixels) {
        std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
        // ORIENTATION_BOTLEFT: the raster's first row is the picture's bottom row.
        if (!TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_BOTLEFT, 0)) {
            result = kImageDamaged;
        } else {
            out.rgb.resize(raster.size() * 3);
            for (size_t i = 0; i < raster.size(); ++i) {
                out.rgb[3 * i] = static_cast<uint8_t>(TIFFGetR(raster[i]));
                out.rgb[3 * i + 1] = static_cast<uint8_t>(TIFFGetG(raster[i]));
                out.rgb[3 * i + 2] = static_cast<uint8_t>(TIFFGetB(raster[i]));
            }
        }
    }
    TIFFClose(tif);
    return result;
}

// --- Windows bitmaps ---

int readBmp(const std::vector<uint8_t>& bytes, bool pixels, Picture& out) {
    DibImage image;
    std::string message, detail;
    if (!decodeDib(bytes, image, message, detail)) return kImageDamaged;
    out.width = image.width, out.height = image.height;
    out.type = kImageTypeRgb, out.palette = 0;
    if (!sizeAllowed(image.width, image.height)) return kImageTooLarge;
    if (pixels) out.rgb = std::move(image.pixels);  // already bottom row first, R G B
    return kImageOk;
}

int decodePicture(const std::vector<uint8_t>& bytes, bool pixels, Picture& out) {
    auto starts = [&](std::initializer_list<uint8_t> magic) {
        return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
    };
    if (starts({0x89, 'P', 'N', 'G'})) return readPng(bytes, pixels, out);
    if (starts({0xFF, 0xD8, 0xFF})) return readJpeg(bytes, pixels, out);
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42})) return readTiff(bytes, pixels, out);
    if (starts({'B', 'M'})) return readBmp(bytes, pixels, out);
    return kImageUnknown;
}

int readPicture(const char* file, bool pixels, Picture& out) {
    if (!file) return kImageCannotOpen;
    std::vector<uint8_t> bytes;
    std::string why;
    const FileReadResult read = readRegularFile(file, kMaxImageFileBytes, bytes, why);
    if (read == FileReadResult::TooLarge) return kImageTooLarge;
    if (read != FileReadResult::Ok) return kImageCannotOpen;
    return decodePicture(bytes, pixels, out);
}

}  // namespace

int imageDecodeRGB(const std::vector<uint8_t>& bytes, int* width, int* height, std::vector<uint8_t>& rgb,
                   bool* truncated) {
    Picture picture;
    const int result = decodePicture(bytes, true, picture);
    if (result != kImageOk) return result;
    *width = picture.width, *height = picture.height;
    rgb = std::move(picture.rgb);
    if (truncated) *truncated = picture.truncated;
    return kImageOk;
}

int imageInfo(const char* file, int* width, int* height, int* type, int* paletteSize) {
    Picture picture;
    const int result = readPicture(file, false, picture);
    if (result != kImageOk) return result;
    if (width) *width = picture.width;
    if (height) *height = picture.height;
    if (type) *type = picture.type;
    if (paletteSize) *paletteSize = picture.palette;
    return kImageOk;
}

int imageLoadRGB(const char* file, int width, int height, unsigned char* red, unsigned char* green,
                 unsigned char* blue) {
    Picture picture;
    const int result = readPicture(file, true, picture);
    if (result != kImageOk) return result;
    if (picture.width != width || picture.height != height) return kImageSizeChanged;
    const size_t n = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < n; ++i) {
        red[i] = picture.rgb[3 * i];
        green[i] = picture.rgb[3 * i + 1];
        blue[i] = picture.rgb[3 * i + 2];
    }
    return kImageOk;
}

const char* imageErrorText(int code) {
    switch (code) {
        case kImageOk: return "read";
        case kImageCannotOpen: return "cannot be opened as a file";
        case kImageDamaged: return "is damaged or truncated";
        case kImageTooLarge: return "holds a picture larger than 16384 pixels a side or 32 million pixels";
        case kImageUnknown: return "is not a picture in a format that can be read (PNG, JPEG, TIFF, BMP)";
        case kImageSizeChanged: return "changed its size while it was being read";
        default: return "cannot be read";
    }
}

#include "imageio/jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// libjpeg's own handler ends the process; ours returns to the call with the picture refused.
void jpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
// Nothing printed; warnings (level -1: corrupt data, a file ending early) are counted, as
// libjpeg's own handler counts them.
void jpegQuiet(j_common_ptr info, int level) {
    if (level < 0) ++info->err->num_warnings;
}

jpeg_error_mgr* quietErrors(JpegError& error) {
    jpeg_error_mgr* manager = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFail;
    error.manager.emit_message = jpegQuiet;
    return manager;
}

J_COLOR_SPACE spaceOf(ChannelOrder order) { return order == ChannelOrder::Bgr ? JCS_EXT_BGR : JCS_RGB; }

}  // namespace

JpegResult decodeJpeg(const uint8_t* data, size_t size, ChannelOrder order, uint64_t maxPixels, JpegInfo& out,
                      uint8_t* pixels, size_t capacity) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = quietErrors(error);
    // Nothing the jump may skip past needs destroying but `info`.
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return JpegResult::Damaged;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    out.width = static_cast<int>(info.image_width), out.height = static_cast<int>(info.image_height);
    out.components = info.num_components;
    const uint64_t count = static_cast<uint64_t>(info.image_width) * info.image_height;
    if (count > maxPixels || (pixels && count * 3 > capacity)) {
        jpeg_destroy_decompress(&info);
        return JpegResult::TooLarge;
    }
    if (!pixels) {
        jpeg_destroy_decompress(&info);
        return JpegResult::Ok;
    }
    info.out_color_space = spaceOf(order);
    jpeg_start_decompress(&info);
    if (info.output_width != info.image_width || info.output_height != info.image_height || info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return JpegResult::Damaged;
    }
    const size_t stride = static_cast<size_t>(out.width) * 3;
    while (info.output_scanline < info.output_height) {
        // Scanline y (from the top) goes to row height - 1 - y.
        JSAMPROW row = pixels + static_cast<size_t>(out.height - 1 - static_cast<int>(info.output_scanline)) * stride;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    }
    // libjpeg pads a file that ends early (or whose data is corrupt) with grey and says so only
    // as a warning.
    out.truncated = error.manager.num_warnings > 0;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return JpegResult::Ok;
}

bool encodeJpeg(const uint8_t* pixels, int width, int height, ChannelOrder order, int quality,
                std::vector<uint8_t>& out) {
    jpeg_compress_struct info;
    JpegError error;
    info.err = quietErrors(error);
    // libjpeg's memory destination: grown with malloc as it writes, freed here on every path.
    unsigned char* encoded = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(encoded);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &encoded, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = spaceOf(order);
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = static_cast<size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        // The file's first row is the picture's top.
        JSAMPROW row = const_cast<uint8_t*>(pixels) + static_cast<size_t>(height - 1 - static_cast<int>(info.next_scanline)) * stride;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    out.assign(encoded, encoded + size);
    std::free(encoded);
    return true;
}

#include "capture/media_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

#include "capture/frame_pacer.h"

namespace {

// FFmpeg's own console chatter is left out: failures reach the user as our one clear line.
void quietLibraries() { av_log_set_level(AV_LOG_FATAL); }

// The largest picture decoded: 8192 x 4096. Decoders allocate for what a header claims, so the
// limit is handed to them before the first frame, not checked after it.
constexpr int64_t kMaxDecodedPixels = int64_t{8192} * 4096;

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

class MediaFileBackend final : public CaptureBackend {
public:
    // A recording's camera is not known: its frames are taken as they are (--readout says otherwise).
    double rowReadOut() const override { return 0.0; }
    MediaFileBackend(std::string path, bool loop) : path(std::move(path)), loop(loop) {}
    ~MediaFileBackend() override {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    // Frames as fast as they are asked for, instead of at the file's own rate.
    void unpace() { fps = 0.0; }

    bool init(std::string& error) {
        int r = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
        if (r < 0) return fail(error, avError(r));
        // Probing decodes a frame: the pixel limit must already hold for it.
        std::vector<AVDictionary*> probeOptions(format->nb_streams, nullptr);
        for (AVDictionary*& d : probeOptions) av_dict_set_int(&d, "max_pixels", kMaxDecodedPixels, 0);
        r = avformat_find_stream_info(format, probeOptions.empty() ? nullptr : probeOptions.data());
        for (AVDictionary*& d : probeOptions) av_dict_free(&d);
        if (r < 0) return fail(error, avError(r));
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (stream < 0 || !decoder) return fail(error, "it holds no video that can be decoded");
        codec = avcodec_alloc_context3(decoder);
        if (!codec || avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) < 0)
            return fail(error, "its video cannot be decoded");
        width = codec->width;
        height = codec->height;
        // Unknown after probing: the decoder refused a picture beyond the pixel limit.
        if (width <= 0 || height <= 0)
            return fail(error, "no picture of a usable size (at most 8192 x 4096 pixels) could be decoded from it");
        if (width > 8192 || height > 8192 || static_cast<int64_t>(width) * height > kMaxDecodedPixels)
            return fail(error, "its picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                   " pixels is larger than 8192 x 4096");
        codec->max_pixels = kMaxDecodedPixels;
        if ((r = avcodec_open2(codec, decoder, nullptr)) < 0) return fail(error, avError(r));
        AVRational rate = format->streams[stream]->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = format->streams[stream]->r_frame_rate;
        fps = (rate.num > 0 && rate.den > 0) ? av_q2d(rate) : 30.0;
        if (!(fps > 0.5 && fps < 1000)) fps = 30.0;
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!frame || !packet) return fail(error, "out of memory");
        // A file with no frame that decodes (truncated, or damaged throughout) is refused here,
        // with a reason, rather than ending the run at once without a word.
        if (!decodeNext()) return fail(error, "it holds no video frame that can be decoded");
        primed = true;
        return true;
    }

    std::vector<std::string> listDevices() override { return {path}; }
    bool openDevice(int number) override { return number == 0; }
    void closeDevice() override { running = false; }
    bool start() override {
        if (ended) return false;
        running = true;
        pacer.restart(delivered);
        return true;
    }
    bool stop() override {
        running = false;
        return true;
    }
    bool frameSize(int& w, int& h) override {
        w = outWidth ? outWidth : width;
        h = outHeight ? outHeight : height;
        return true;
    }
    bool setFrameSize(int w, int h) override {
        if (w < 16 || h < 16 || w > 8192 || h > 8192) return false;
        outWidth = w;
        outHeight = h;
        return true;
    }
    bool endOfStream() const override { return ended; }

    bool grabFrame(unsigned char* dst, size_t dstBytes, int timeoutMs) override {
        if (!running || ended) return false;
        if (!pacer.waitFor(delivered, fps, timeoutMs)) return false;
        const bool decoded = primed || decodeNext();
        primed = false;
        if (!decoded) {
            if (!loop || !rewind() || !decodeNext()) {
                ended = true;
                return false;
            }
        }
        int w, h;
        frameSize(w, h);
        // Scaled to 24-bit BGR, the bottom row first as every capture device delivers it.
        scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), w, h,
                                      AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler) return false;
        bgr.resize(static_cast<size_t>(w) * h * 3);
        // A negative stride writes the decoded top row last (docs/conventions.md, "Frames").
        uint8_t* planes[1] = {bgr.data() + static_cast<size_t>(w) * 3 * (h - 1)};
        const int strides[1] = {-w * 3};
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        std::memcpy(dst, bgr.data(), std::min(dstBytes, bgr.size()));
        ++delivered;
        return true;
    }

private:
    std::string path;
    bool loop;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    int stream = -1;
    int width = 0, height = 0, outWidth = 0, outHeight = 0;
    double fps = 30.0;
    bool running = false, ended = false, draining = false;
    bool primed = false;  // `frame` holds a decoded frame not yet delivered
    int delivered = 0;
    FramePacer pacer;
    std::vector<unsigned char> bgr;

    bool fail(std::string& error, const std::string& why) {
        error = why;
        return false;
    }

    bool decodeNext() {
        for (;;) {
            const int r = avcodec_receive_frame(codec, frame);
            if (r == 0) return true;
            if (r != AVERROR(EAGAIN) || draining) return false;
            if (av_read_frame(format, packet) < 0) {
                draining = true;
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
        }
    }

    bool rewind() {
        if (av_seek_frame(format, stream, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
            avformat_seek_file(format, -1, INT64_MIN, 0, INT64_MAX, 0) < 0)
            return false;
        avcodec_flush_buffers(codec);
        draining = false;
        return true;
    }

};

}  // namespace

std::unique_ptr<CaptureBackend> createMediaFileBackend(const std::string& path, bool loop, std::string& error,
                                                      bool paced) {
    quietLibraries();
    auto backend = std::make_unique<MediaFileBackend>(path, loop);
    if (!backend->init(error)) return nullptr;
    if (!paced) backend->unpace();
    return backend;
}

struct VideoRecorder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    int width = 0, height = 0, frames = 0, fps = 30;
    bool headerWritten = false;

    // The reason for a failed write: the file's own error where the output layer has one.
    bool failed(std::string& error) const {
        const int code = format && format->pb ? format->pb->error : 0;
        error = code < 0 ? avError(code) : "the encoder or the file format refused a frame";
        return false;
    }

    ~State() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (format) {
            if (!(format->oformat->flags & AVFMT_NOFILE)) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    bool drain(AVFrame* f) {
        if (avcodec_send_frame(codec, f) < 0) return false;
        for (;;) {
            const int r = avcodec_receive_packet(codec, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            // Every frame lasts one frame time. Without a duration the MP4 muxer ends its edit
            // list at the last frame's start, and players drop that frame.
            if (packet->duration <= 0) packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) return false;
        }
    }
};

VideoRecorder::VideoRecorder() = default;
VideoRecorder::~VideoRecorder() { close(); }

bool VideoRecorder::open(const std::string& path, int width, int height, int fps, std::string& error) {
    close();
    quietLibraries();
    if (fps <= 0 || fps > 1000) {
        error = "the frame rate must be from 1 to 1000";
        return false;
    }
    auto s = std::make_unique<State>();
    int r = avformat_alloc_output_context2(&s->format, nullptr, nullptr, path.c_str());
    if (r < 0 || !s->format) {
        error = "the file name's extension names no video format I can write (try .mkv, .mp4 or .avi)";
        return false;
    }
    const AVCodec* encoder = avcodec_find_encoder(s->format->oformat->video_codec);
    if (!encoder) encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!encoder || width % 2 || height % 2) {
        error = encoder ? "the frame size must be even to be recorded" : "no video encoder is available";
        return false;
    }
    s->stream = avformat_new_stream(s->format, nullptr);
    s->codec = avcodec_alloc_context3(encoder);
    if (!s->stream || !s->codec) {
        error = "out of memory";
        return false;
    }
    s->codec->width = width;
    s->codec->height = height;
    s->codec->time_base = AVRational{1, fps};
    s->codec->framerate = AVRational{fps, 1};
    s->codec->pix_fmt = AV_PIX_FMT_YUV420P;
    if (encoder->pix_fmts) {
        bool has420 = false;
        for (const AVPixelFormat* p = encoder->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) has420 |= *p == AV_PIX_FMT_YUV420P;
        if (!has420) s->codec->pix_fmt = encoder->pix_fmts[0];
    }
    s->codec->gop_size = fps;
    s->codec->bit_rate = 4000000;
    // Near-lossless where the codec allows it: recordings are for replaying the tracking.
    av_opt_set(s->codec->priv_data, "crf", "16", 0);
    av_opt_set(s->codec->priv_data, "preset", "veryfast", 0);
    // No look-ahead and no reordering: each frame leaves the encoder as it goes in, so what the
    // file holds at any moment is every frame but the last second's at most.
    av_opt_set(s->codec->priv_data, "tune", "zerolatency", 0);
    s->codec->max_b_frames = 0;
    if (s->format->oformat->flags & AVFMT_GLOBALHEADER) s->codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((r = avcodec_open2(s->codec, encoder, nullptr)) < 0 ||
        (r = avcodec_parameters_from_context(s->stream->codecpar, s->codec)) < 0) {
        error = avError(r);
        return false;
    }
    s->stream->time_base = s->codec->time_base;
    if (!(s->format->oformat->flags & AVFMT_NOFILE) && (r = avio_open(&s->format->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = avError(r);
        return false;
    }
    // A recording must survive the program being killed: Matroska closes a cluster every
    // second, MP4 is written as fragments that start at each (once a second) key frame, and
    // write() pushes them to the disk once a second.
    AVDictionary* muxerOptions = nullptr;
    av_dict_set(&muxerOptions, "cluster_time_limit", "1000", 0);
    av_dict_set(&muxerOptions, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    r = avformat_write_header(s->format, &muxerOptions);
    av_dict_free(&muxerOptions);  // options a format does not know are simply left over
    if (r < 0) {
        error = avError(r);
        return false;
    }
    s->headerWritten = true;
    s->frame = av_frame_alloc();
    s->packet = av_packet_alloc();
    if (!s->frame || !s->packet) {
        error = "out of memory";
        return false;
    }
    s->frame->format = s->codec->pix_fmt;
    s->frame->width = width;
    s->frame->height = height;
    if (av_frame_get_buffer(s->frame, 0) < 0) {
        error = "out of memory";
        return false;
    }
    s->width = width;
    s->height = height;
    s->fps = fps;
    state = std::move(s);
    return true;
}

bool VideoRecorder::write(const unsigned char* bottomUpBgr, int width, int height, std::string& error) {
    if (!state) {
        error = "the recording is not open";
        return false;
    }
    State& s = *state;
    if (width != s.width || height != s.height) {
        error = "the frame size changed from " + std::to_string(s.width) + "x" + std::to_string(s.height) + " to " +
                std::to_string(width) + "x" + std::to_string(height) + "; a recording keeps one size";
        return false;
    }
    s.scaler = sws_getCachedContext(s.scaler, width, height, AV_PIX_FMT_BGR24, width, height, s.codec->pix_fmt,
                                    SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!s.scaler || av_frame_make_writable(s.frame) < 0) {
        error = "out of memory";
        return false;
    }
    // Video files keep the top row first.
    // Read from the last row up: files keep the top row first (docs/conventions.md, "Frames").
    const uint8_t* planes[1] = {bottomUpBgr + static_cast<size_t>(width) * 3 * (height - 1)};
    const int strides[1] = {-width * 3};
    sws_scale(s.scaler, planes, strides, 0, height, s.frame->data, s.frame->linesize);
    s.frame->pts = s.frames++;
    if (!s.drain(s.frame)) return s.failed(error);
    if (s.frames % s.fps == 0) {
        av_write_frame(s.format, nullptr);  // ends the muxer's cluster or fragment
        if (s.format->pb) avio_flush(s.format->pb);
    }
    return s.format->pb && s.format->pb->error < 0 ? s.failed(error) : true;
}

bool VideoRecorder::close(std::string& error) {
    if (!state) return true;
    bool ok = true;
    if (state->headerWritten) {
        ok = state->drain(nullptr) && av_write_trailer(state->format) >= 0;
        if (state->format->pb) {
            avio_flush(state->format->pb);
            ok = ok && state->format->pb->error >= 0;
        }
        if (!ok) state->failed(error);
    }
    if (state->format && state->format->pb && !(state->format->oformat->flags & AVFMT_NOFILE)) {
        if (avio_closep(&state->format->pb) < 0 && ok) {
            error = "the file could not be closed";
            ok = false;
        }
    }
    state.reset();
    return ok;
}

void VideoRecorder::close() {
    std::string ignored;
    close(ignored);
}


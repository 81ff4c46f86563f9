#include "video_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace {

struct Resources {
  AVFormatContext* demuxer = nullptr;
  AVCodecContext* decoder = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* toRgb = nullptr;
  ~Resources() {
    sws_freeContext(toRgb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&demuxer);
  }
};

std::string Text(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// Takes every picture the decoder has ready; false on a decoding error.
bool Drain(Resources& r, DecodedVideo& video) {
  for (;;) {
    const int got = avcodec_receive_frame(r.decoder, r.frame);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
    if (got < 0) {
      video.error = "decoding: " + Text(got);
      return false;
    }
    const auto format = static_cast<AVPixelFormat>(r.frame->format);
    r.toRgb = sws_getCachedContext(r.toRgb, r.frame->width, r.frame->height, format, r.frame->width,
                                   r.frame->height, AV_PIX_FMT_RGB32,
                                   SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (format != AV_PIX_FMT_PAL8) {
      // Undo the matrix the file says it used.
      const int space = r.frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
      const int* coefficients = sws_getCoefficients(space);
      sws_setColorspaceDetails(r.toRgb, coefficients, r.frame->color_range == AVCOL_RANGE_JPEG,
                               coefficients, 1, 0, 1 << 16, 1 << 16);
    }
    QImage image(r.frame->width, r.frame->height, QImage::Format_RGB32);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(r.toRgb, r.frame->data, r.frame->linesize, 0, r.frame->height, planes, strides);
    video.frames.push_back(image);
    av_frame_unref(r.frame);
  }
}

}  // namespace

DecodedVideo DecodeVideo(const std::string& path) {
  DecodedVideo video;
  Resources r;
  int code = avformat_open_input(&r.demuxer, path.c_str(), nullptr, nullptr);
  if (code < 0) {
    video.error = "open: " + Text(code);
    return video;
  }
  if ((code = avformat_find_stream_info(r.demuxer, nullptr)) < 0) {
    video.error = "stream info: " + Text(code);
    return video;
  }
  video.container = r.demuxer->iformat->name;
  video.durationMicroseconds = r.demuxer->duration;
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(r.demuxer, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (index < 0 || r.demuxer->nb_streams != 1) {
    video.error = "not one video stream";
    return video;
  }
  const AVCodecParameters* parameters = r.demuxer->streams[index]->codecpar;
  video.codec = codec->name;
  video.width = parameters->width;
  video.height = parameters->height;
  const char* pixelFormat = av_get_pix_fmt_name(static_cast<AVPixelFormat>(parameters->format));
  video.pixelFormat = pixelFormat ? pixelFormat : "";
  r.decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(r.decoder, parameters);
  if ((code = avcodec_open2(r.decoder, codec, nullptr)) < 0) {
    video.error = "decoder: " + Text(code);
    return video;
  }
  while ((code = av_read_frame(r.demuxer, r.packet)) >= 0) {
    const int sent = avcodec_send_packet(r.decoder, r.packet);
    av_packet_unref(r.packet);
    if (sent < 0) {
      video.error = "decoding: " + Text(sent);
      return video;
    }
    if (!Drain(r, video)) return video;
  }
  if (code != AVERROR_EOF) {
    video.error = "reading: " + Text(code);
    return video;
  }
  avcodec_send_packet(r.decoder, nullptr);
  Drain(r, video);
  return video;
}

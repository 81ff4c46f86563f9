// The video writer: frames to RGB32 AVFrames, then to YUV 4:2:0 for H.264 and VP9, or through
// palettegen/paletteuse for a GIF; packets muxed into a file kept in memory, written at the end
// by ReplaceFileBytes.
#include "formats/video/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "formats/file_bytes.h"
#include "formats/file_kind.h"
#include "scene/error.h"

namespace {

constexpr int kMaxSide = 16384;
// Encoder threads: a fixed number, so that the file does not depend on the machine's cores.
constexpr int kEncoderThreads = 4;
constexpr int kIoBufferBytes = 64 * 1024;

struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ScaleFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct GraphFree {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct InOutFree {
  void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
struct IoFree {
  void operator()(AVIOContext* io) const {
    if (io) av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleFree>;
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphFree>;
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutFree>;
using IoPtr = std::unique_ptr<AVIOContext, IoFree>;

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The file as the muxer writes it. The MP4 muxer seeks back to fill in sizes and, for
// +faststart, reads the file again to move its index in front of the data; the WebM muxer seeks
// back for its duration and cues. Keeping the bytes in memory lets the finished file reach the
// disk through the one safe replace the program has, and a video of frames we draw is small.
struct MemoryFile {
  std::vector<uint8_t> bytes;
};

// One reader's or the writer's place in a MemoryFile.
struct Cursor {
  MemoryFile* file;
  int64_t position = 0;
};

int ReadBytes(void* opaque, uint8_t* buffer, int size) {
  auto* cursor = static_cast<Cursor*>(opaque);
  const auto& bytes = cursor->file->bytes;
  if (cursor->position >= static_cast<int64_t>(bytes.size())) return AVERROR_EOF;
  const int n = static_cast<int>(
      std::min<int64_t>(size, static_cast<int64_t>(bytes.size()) - cursor->position));
  std::memcpy(buffer, bytes.data() + cursor->position, static_cast<size_t>(n));
  cursor->position += n;
  return n;
}

// The const changed with the library's major version 61.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
int WriteBytes(void* opaque, const uint8_t* buffer, int size) {
#else
int WriteBytes(void* opaque, uint8_t* buffer, int size) {
#endif
  auto* cursor = static_cast<Cursor*>(opaque);
  auto& bytes = cursor->file->bytes;
  const size_t end = static_cast<size_t>(cursor->position) + static_cast<size_t>(size);
  if (end > bytes.size()) bytes.resize(end);
  std::memcpy(bytes.data() + cursor->position, buffer, static_cast<size_t>(size));
  cursor->position += size;
  return size;
}

int64_t SeekBytes(void* opaque, int64_t offset, int whence) {
  auto* cursor = static_cast<Cursor*>(opaque);
  const auto size = static_cast<int64_t>(cursor->file->bytes.size());
  if (whence == AVSEEK_SIZE) return size;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += cursor->position;
      break;
    case SEEK_END:
      offset += size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  cursor->position = offset;
  return offset;
}

IoPtr NewIo(Cursor* cursor, bool write) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (!buffer) throw KestrelError("Out of memory");
  AVIOContext* io =
      avio_alloc_context(buffer, kIoBufferBytes, write ? 1 : 0, cursor, write ? nullptr : ReadBytes,
                         write ? WriteBytes : nullptr, SeekBytes);
  if (!io) {
    av_free(buffer);
    throw KestrelError("Out of memory");
  }
  return IoPtr(io);
}

// The muxer may open the file it writes again, for reading only (the +faststart pass).
int OpenAgain(AVFormatContext* muxer, AVIOContext** io, const char*, int flags, AVDictionary**) {
  if (flags & AVIO_FLAG_WRITE) return AVERROR(EPERM);
  auto* file = static_cast<MemoryFile*>(muxer->opaque);
  auto* cursor = new Cursor{file};
  try {
    *io = NewIo(cursor, false).release();
  } catch (const KestrelError&) {
    delete cursor;
    return AVERROR(ENOMEM);
  }
  return 0;
}

int CloseAgain(AVFormatContext*, AVIOContext* io) {
  delete static_cast<Cursor*>(io->opaque);
  IoFree()(io);
  return 0;
}

const char* MuxerName(VideoFormat format) {
  switch (format) {
    case VideoFormat::Mp4:
      return "mp4";
    case VideoFormat::WebM:
      return "webm";
    case VideoFormat::Gif:
      return "gif";
  }
  return "";
}

const char* EncoderName(VideoFormat format) {
  switch (format) {
    case VideoFormat::Mp4:
      return "libx264";
    case VideoFormat::WebM:
      return "libvpx-vp9";
    case VideoFormat::Gif:
      return "gif";
  }
  return "";
}

void SetOption(void* object, const char* name, const char* value) {
  const int r = av_opt_set(object, name, value, AV_OPT_SEARCH_CHILDREN);
  if (r < 0) {
    throw KestrelError(std::string("Cannot set the encoder's ") + name + ": " + ErrorText(r));
  }
}

}  // namespace

std::optional<VideoFormat> VideoFormatOf(const std::string& fileName) {
  const std::string extension = LowerExtension(fileName);
  if (extension == ".mp4") return VideoFormat::Mp4;
  if (extension == ".webm") return VideoFormat::WebM;
  if (extension == ".gif") return VideoFormat::Gif;
  return std::nullopt;
}

double MaxFramesPerSecond(VideoFormat format) {
  return format == VideoFormat::Gif ? 50 : 120;
}

QSize EncodedFrameSize(VideoFormat format, QSize frameSize) {
  if (format != VideoFormat::Mp4) return frameSize;
  return QSize(frameSize.width() + frameSize.width() % 2,
               frameSize.height() + frameSize.height() % 2);
}

struct VideoWriter::Impl {
  std::string fileName;
  VideoSettings settings;
  QSize encodedSize;
  AVRational frameTime{};  // one frame, the encoder's time base
  int64_t framesAdded = 0;
  bool finished = false;

  MemoryFile file;
  Cursor writeCursor{&file};
  IoPtr io;
  AVFormatContext* muxer = nullptr;  // freed by the destructor; it does not own `io`
  AVStream* stream = nullptr;
  CodecPtr encoder;
  PacketPtr packet{av_packet_alloc()};
  ScalePtr toYuv;  // MP4 and WebM
  GraphPtr graph;  // GIF: the palette is made from every frame, so nothing leaves it before
  AVFilterContext* source = nullptr;  // the last frame is in
  AVFilterContext* sink = nullptr;

  ~Impl() { avformat_free_context(muxer); }

  [[noreturn]] void Fail(const std::string& what, int code) const {
    throw KestrelError("Cannot write video \"" + fileName + "\": " + what + ": " + ErrorText(code));
  }
  void Check(int code, const std::string& what) const {
    if (code < 0) Fail(what, code);
  }

  void Open();
  void OpenEncoder();
  void OpenPaletteGraph();
  FramePtr NewFrame(AVPixelFormat format) const;
  void Encode(AVFrame* frame);
};

void VideoWriter::Impl::Open() {
  const QSize size = settings.frameSize;
  if (size.width() < 1 || size.height() < 1 || size.width() > kMaxSide ||
      size.height() > kMaxSide) {
    throw KestrelError("A video frame must be 1 to " + std::to_string(kMaxSide) + " pixels a side");
  }
  const double fps = settings.framesPerSecond;
  const double maxFps = MaxFramesPerSecond(settings.format);
  if (!std::isfinite(fps) || fps <= 0 || fps > maxFps) {
    throw KestrelError(std::string("A frame rate above 0 and at most ") +
                       std::to_string(static_cast<int>(maxFps)) + " is needed for " +
                       MuxerName(settings.format));
  }
  CheckReplaceable(fileName);
  encodedSize = EncodedFrameSize(settings.format, size);
  // 29.97 is 2997/100; whole rates stay whole.
  frameTime = av_inv_q(av_d2q(fps, 100000));
  // Encoder statistics and notes are not this program's output; errors come back as codes.
  av_log_set_level(AV_LOG_ERROR);

  // The name is only a label here: every byte goes through the callbacks below.
  Check(
      avformat_alloc_output_context2(&muxer, nullptr, MuxerName(settings.format), fileName.c_str()),
      "no muxer");
  muxer->opaque = &file;
  // The same frames give the same bytes: no random track ids, no library version in the file.
  muxer->flags |= AVFMT_FLAG_BITEXACT;
  muxer->io_open = OpenAgain;
  muxer->io_close2 = CloseAgain;
  io = NewIo(&writeCursor, true);
  muxer->pb = io.get();
  OpenEncoder();
  stream = avformat_new_stream(muxer, nullptr);
  if (!stream) throw KestrelError("Out of memory");
  stream->time_base = encoder->time_base;
  stream->avg_frame_rate = encoder->framerate;
  Check(avcodec_parameters_from_context(stream->codecpar, encoder.get()), "stream parameters");

  AVDictionary* options = nullptr;
  if (settings.format == VideoFormat::Mp4) {
    // The index in front of the data: a browser starts playing before the whole file is in.
    av_dict_set(&options, "movflags", "+faststart", 0);
  }
  if (settings.format == VideoFormat::Gif) av_dict_set(&options, "loop", "0", 0);  // for ever
  const int r = avformat_write_header(muxer, &options);
  av_dict_free(&options);
  Check(r, "header");
  if (settings.format == VideoFormat::Gif) OpenPaletteGraph();
}

void VideoWriter::Impl::OpenEncoder() {
  const AVCodec* codec = avcodec_find_encoder_by_name(EncoderName(settings.format));
  if (!codec) {
    throw KestrelError(std::string("Cannot write video \"") + fileName + "\": the " +
                       EncoderName(settings.format) + " encoder is not available");
  }
  encoder.reset(avcodec_alloc_context3(codec));
  if (!encoder) throw KestrelError("Out of memory");
  AVCodecContext* c = encoder.get();
  c->width = encodedSize.width();
  c->height = encodedSize.height();
  c->time_base = frameTime;
  c->framerate = av_inv_q(frameTime);
  c->sample_aspect_ratio = AVRational{1, 1};
  c->thread_count = kEncoderThreads;
  if (muxer->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  switch (settings.format) {
    case VideoFormat::Mp4:
    case VideoFormat::WebM:
      // 4:2:0 in studio range, the one form every browser and presentation program plays;
      // the colour matrix is said in the file so that players undo it as we did it.
      c->pix_fmt = AV_PIX_FMT_YUV420P;
      c->color_range = AVCOL_RANGE_MPEG;
      c->colorspace = AVCOL_SPC_BT709;
      c->color_primaries = AVCOL_PRI_BT709;
      c->color_trc = AVCOL_TRC_BT709;
      break;
    case VideoFormat::Gif:
      c->pix_fmt = AV_PIX_FMT_PAL8;
      break;
  }
  if (settings.format == VideoFormat::Mp4) {
    // Thin lines on a flat background: a quality that keeps them crisp. The slower presets
    // gain about 1 dB for twice the time, on a wire model that costs under a millisecond to draw.
    SetOption(c->priv_data, "preset", "veryfast");
    SetOption(c->priv_data, "crf", "20");
  } else if (settings.format == VideoFormat::WebM) {
    // Constant quality (no bit rate). The "realtime" speeds give the same size and quality as
    // the fastest "good" one on our frames in a quarter of the time; the default, best-quality
    // setting takes minutes for a few seconds of video.
    c->bit_rate = 0;
    SetOption(c->priv_data, "crf", "32");
    SetOption(c->priv_data, "deadline", "realtime");
    SetOption(c->priv_data, "cpu-used", "6");
    SetOption(c->priv_data, "row-mt", "1");
  }
  Check(avcodec_open2(c, codec, nullptr), "encoder");

  if (settings.format != VideoFormat::Gif) {
    toYuv.reset(sws_getContext(c->width, c->height, AV_PIX_FMT_RGB32, c->width, c->height,
                               AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                               nullptr));
    if (!toYuv) throw KestrelError("Cannot write video \"" + fileName + "\": no colour conversion");
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    // Full-range RGB in, studio-range YUV out.
    sws_setColorspaceDetails(toYuv.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  }
}

void VideoWriter::Impl::OpenPaletteGraph() {
  graph.reset(avfilter_graph_alloc());
  if (!graph) throw KestrelError("Out of memory");
  graph->nb_threads = 1;
  const std::string sourceArgs = "video_size=" + std::to_string(encodedSize.width()) + "x" +
                                 std::to_string(encodedSize.height()) +
                                 ":pix_fmt=" + std::to_string(AV_PIX_FMT_RGB32) +
                                 ":time_base=" + std::to_string(frameTime.num) + "/" +
                                 std::to_string(frameTime.den) + ":pixel_aspect=1/1";
  Check(avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in",
                                     sourceArgs.c_str(), nullptr, graph.get()),
        "frame source");
  Check(avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, graph.get()),
        "frame sink");
  InOutPtr outputs(avfilter_inout_alloc());
  InOutPtr inputs(avfilter_inout_alloc());
  if (!outputs || !inputs) throw KestrelError("Out of memory");
  outputs->name = av_strdup("in");
  outputs->filter_ctx = source;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = sink;
  // One palette for the whole loop, so that colours do not jump between frames; ordered
  // dithering, whose pattern stays put while the model turns, where error diffusion would
  // crawl over every smooth fade.
  AVFilterInOut* in = inputs.release();
  AVFilterInOut* out = outputs.release();
  const int r = avfilter_graph_parse_ptr(
      graph.get(), "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse=dither=bayer",
      &in, &out, nullptr);
  avfilter_inout_free(&in);
  avfilter_inout_free(&out);
  Check(r, "palette filters");
  Check(avfilter_graph_config(graph.get(), nullptr), "palette filters");
}

FramePtr VideoWriter::Impl::NewFrame(AVPixelFormat format) const {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw KestrelError("Out of memory");
  frame->format = format;
  frame->width = encodedSize.width();
  frame->height = encodedSize.height();
  if (av_frame_get_buffer(frame.get(), 0) < 0) throw KestrelError("Out of memory");
  // Rows are allocated wider than the picture. An encoder may read past the picture's edge
  // (libvpx does for an odd width): zeros there keep its output the same from run to run.
  for (AVBufferRef* buffer : frame->buf) {
    if (buffer) std::memset(buffer->data, 0, buffer->size);
  }
  return frame;
}

void VideoWriter::Impl::Encode(AVFrame* frame) {
  Check(avcodec_send_frame(encoder.get(), frame), "encoding");
  for (;;) {
    const int r = avcodec_receive_packet(encoder.get(), packet.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
    Check(r, "encoding");
    av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
    packet->stream_index = stream->index;
    Check(av_interleaved_write_frame(muxer, packet.get()), "muxing");
  }
}

VideoWriter::VideoWriter(std::string fileName, const VideoSettings& settings)
    : impl_(std::make_unique<Impl>()) {
  impl_->fileName = std::move(fileName);
  impl_->settings = settings;
  if (!impl_->packet) throw KestrelError("Out of memory");
  impl_->Open();
}

VideoWriter::~VideoWriter() = default;

void VideoWriter::AddFrame(const QImage& image) {
  Impl& w = *impl_;
  if (w.finished) throw KestrelError("The video \"" + w.fileName + "\" is already written");
  if (image.size() != w.settings.frameSize) {
    throw KestrelError("A video frame of the wrong size");
  }
  const QImage rgb =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  FramePtr frame = w.NewFrame(AV_PIX_FMT_RGB32);
  const int width = rgb.width();
  const int height = rgb.height();
  const bool gif = w.settings.format == VideoFormat::Gif;
  for (int y = 0; y < w.encodedSize.height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(frame->data[0] + y * frame->linesize[0]);
    if (y >= height) {
      std::fill(row, row + w.encodedSize.width(), uint32_t{w.settings.padColour});
      continue;
    }
    const auto* from = reinterpret_cast<const uint32_t*>(rgb.constScanLine(y));
    if (gif) {
      // The fourth byte of an RGB32 pixel means nothing to us, but the palette filters read
      // it as opacity.
      std::transform(from, from + width, row, [](uint32_t p) { return p | 0xFF000000u; });
    } else {
      std::copy(from, from + width, row);
    }
    std::fill(row + width, row + w.encodedSize.width(), uint32_t{w.settings.padColour});
  }
  frame->pts = w.framesAdded++;

  if (gif) {
    w.Check(av_buffersrc_add_frame(w.source, frame.get()), "palette filters");
    return;  // nothing comes out before the last frame is in
  }
  FramePtr yuv = w.NewFrame(AV_PIX_FMT_YUV420P);
  sws_scale(w.toYuv.get(), frame->data, frame->linesize, 0, frame->height, yuv->data,
            yuv->linesize);
  yuv->pts = frame->pts;
  yuv->color_range = w.encoder->color_range;
  yuv->colorspace = w.encoder->colorspace;
  yuv->color_primaries = w.encoder->color_primaries;
  yuv->color_trc = w.encoder->color_trc;
  w.Encode(yuv.get());
}

void VideoWriter::Finish() {
  Impl& w = *impl_;
  if (w.finished) throw KestrelError("The video \"" + w.fileName + "\" is already written");
  if (w.framesAdded == 0) throw KestrelError("A video needs at least one frame");
  w.finished = true;
  if (w.graph) {
    w.Check(av_buffersrc_add_frame(w.source, nullptr), "palette filters");
    const AVRational graphTime = av_buffersink_get_time_base(w.sink);
    for (;;) {
      FramePtr frame(av_frame_alloc());
      if (!frame) throw KestrelError("Out of memory");
      const int r = av_buffersink_get_frame(w.sink, frame.get());
      if (r == AVERROR_EOF) break;
      w.Check(r, "palette filters");
      frame->pts = av_rescale_q(frame->pts, graphTime, w.encoder->time_base);
      frame->pict_type = AV_PICTURE_TYPE_NONE;
      w.Encode(frame.get());
    }
  }
  w.Encode(nullptr);
  w.Check(av_write_trailer(w.muxer), "trailer");
  avio_flush(w.io.get());
  w.Check(w.io->error, "muxing");
  ReplaceFileBytes(w.fileName, w.file.bytes);
}

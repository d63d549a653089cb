#include "modules/LibavCommon/picture_pair.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace mivora::libav {

namespace {

void Fill(DecodedFrame* out, const AVFrame* picture, const AVFrame* previous) {
  *out = DecodedFrame{};
  if (picture == nullptr) return;
  out->y = picture->data[0];
  out->u = picture->data[1];
  out->v = picture->data[2];
  out->strideY = picture->linesize[0];
  out->strideU = picture->linesize[1];
  out->strideV = picture->linesize[2];
  // The converters step both pictures with the current one's strides.
  if (previous != nullptr && previous->linesize[0] == picture->linesize[0] &&
      previous->linesize[1] == picture->linesize[1]) {
    out->prevY = previous->data[0];
    out->prevU = previous->data[1];
    out->prevV = previous->data[2];
  }
}

}  // namespace

PicturePair::~PicturePair() {
  Clear();
  sws_freeContext(scaler_);
}

void PicturePair::SetSize(int width, int height) {
  Clear();
  width_ = width;
  height_ = height;
}

void PicturePair::Clear() {
  av_frame_free(&newest_);
  av_frame_free(&previous_);
}

bool PicturePair::Fits(const AVFrame* frame) const {
  const bool planar420 =
      frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P;
  return planar420 && frame->width == width_ && frame->height == height_ &&
         frame->linesize[1] == frame->linesize[2] && frame->linesize[0] > 0 &&
         frame->linesize[1] > 0 && frame->data[0] && frame->data[1] && frame->data[2];
}

AVFrame* PicturePair::Convert(const AVFrame* frame) {
  if (frame->width <= 0 || frame->height <= 0 || width_ <= 0 || height_ <= 0) return nullptr;
  scaler_ = sws_getCachedContext(scaler_, frame->width, frame->height,
                                 static_cast<AVPixelFormat>(frame->format), width_, height_,
                                 AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (scaler_ == nullptr) return nullptr;
  AVFrame* converted = av_frame_alloc();
  if (converted == nullptr) return nullptr;
  converted->format = AV_PIX_FMT_YUV420P;
  converted->width = width_;
  converted->height = height_;
  // 64-byte rows leave room for the converters' wide reads at the end of a row.
  if (av_frame_get_buffer(converted, 64) < 0 ||
      sws_scale(scaler_, frame->data, frame->linesize, 0, frame->height, converted->data,
                converted->linesize) <= 0) {
    av_frame_free(&converted);
    return nullptr;
  }
  converted->pts = frame->pts;
  return converted;
}

bool PicturePair::Accept(AVFrame* frame) {
  if (frame == nullptr) return false;
  AVFrame* kept = nullptr;
  if (Fits(frame)) {
    kept = av_frame_alloc();
    if (kept == nullptr) return false;
    av_frame_move_ref(kept, frame);
  } else {
    kept = Convert(frame);
    av_frame_unref(frame);
    if (kept == nullptr) return false;
  }
  av_frame_free(&previous_);
  previous_ = newest_;
  newest_ = kept;
  return true;
}

void PicturePair::Describe(DecodedFrame* out) const {
  if (out != nullptr) Fill(out, newest_, previous_);
}

void PicturePair::DescribeRepeat(DecodedFrame* out) const {
  if (out != nullptr) Fill(out, newest_, newest_);
}

}  // namespace mivora::libav

#pragma once
// FFmpeg's demuxers, decoders, scaler and resampler (video playback): the functions called, in a table filled when the library is first opened.
// Callers open it before their first call and go through the table.
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#define VK_FFMPEG_FUNCTIONS(X) \
  X(avutil, av_channel_layout_copy) \
  X(avutil, av_channel_layout_default) \
  X(avutil, av_channel_layout_uninit) \
  X(avutil, av_frame_alloc) \
  X(avutil, av_frame_free) \
  X(avutil, av_frame_get_buffer) \
  X(avutil, av_frame_unref) \
  X(avutil, av_frame_move_ref) \
  X(avutil, av_free) \
  X(avutil, av_freep) \
  X(avutil, av_log_set_level) \
  X(avutil, av_malloc) \
  X(avutil, av_rescale) \
  X(avutil, av_rescale_q) \
  X(avutil, av_strdup) \
  X(avcodec, av_packet_alloc) \
  X(avcodec, av_packet_free) \
  X(avcodec, av_packet_move_ref) \
  X(avcodec, av_packet_unref) \
  X(avcodec, avcodec_alloc_context3) \
  X(avcodec, avcodec_find_decoder) \
  X(avcodec, avcodec_flush_buffers) \
  X(avcodec, avcodec_free_context) \
  X(avcodec, avcodec_open2) \
  X(avcodec, avcodec_parameters_to_context) \
  X(avcodec, avcodec_receive_frame) \
  X(avcodec, avcodec_send_packet) \
  X(avformat, av_find_best_stream) \
  X(avformat, av_guess_frame_rate) \
  X(avformat, av_read_frame) \
  X(avformat, av_seek_frame) \
  X(avformat, avformat_alloc_context) \
  X(avformat, avformat_close_input) \
  X(avformat, avformat_find_stream_info) \
  X(avformat, avformat_open_input) \
  X(avformat, avio_alloc_context) \
  X(avformat, avio_context_free) \
  X(swresample, swr_alloc_set_opts2) \
  X(swresample, swr_close) \
  X(swresample, swr_convert) \
  X(swresample, swr_free) \
  X(swresample, swr_get_out_samples) \
  X(swresample, swr_init) \
  X(swscale, sws_freeContext) \
  X(swscale, sws_getCachedContext) \
  X(swscale, sws_scale)

struct FfmpegApi {
#define VK_SLOT(lib, name) decltype(&::name) name = nullptr;
  VK_FFMPEG_FUNCTIONS(VK_SLOT)
#undef VK_SLOT
};
extern FfmpegApi g_ffmpeg;

// Opens the libraries once per process; false, with the reason in *why, when one
// cannot be loaded or lacks a function. Safe from any thread.
bool OpenFfmpeg(std::string* why = nullptr);

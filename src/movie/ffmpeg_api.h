// FFmpeg's libraries, loaded when the first movie is opened or written.
//
// Linking them would make every program that uses the library load some
// 140 shared objects at start (FFmpeg's codecs and their own libraries):
// about 65 ms of processor time before main, for a FLIC or a Korvane
// movie that never needs them. The movie readers and the AVI writer call
// them through `ff()`, a table filled from the sonames of the headers we
// were built with.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vex::movie {

// Every FFmpeg function the library calls.
#define VEX_FFMPEG_FUNCTIONS(X)                                                                                        \
  X(av_channel_layout_copy)                                                                                            \
  X(av_channel_layout_default) X(av_channel_layout_uninit) X(av_codec_is_encoder) X(av_codec_iterate)                  \
      X(av_find_input_format) X(av_frame_alloc) X(av_frame_free) X(av_frame_get_buffer) X(av_frame_make_writable) X(   \
          av_frame_move_ref) X(av_frame_unref) X(av_free) X(av_freep) X(av_guess_format) X(av_interleaved_write_frame) \
          X(av_log_set_callback) X(av_log_set_level) X(av_malloc) X(av_mallocz) X(av_new_packet) X(av_packet_alloc)    \
              X(av_packet_free) X(av_packet_new_side_data) X(av_packet_rescale_ts) X(av_packet_unref)                  \
                  X(av_pix_fmt_desc_get) X(av_probe_input_format3) X(av_read_frame) X(av_reduce) X(av_rescale_q) X(    \
                      av_seek_frame) X(av_strerror) X(av_write_trailer) X(avcodec_alloc_context3)                      \
                      X(avcodec_find_best_pix_fmt_of_list) X(avcodec_find_decoder) X(avcodec_find_encoder_by_name) X(  \
                          avcodec_flush_buffers) X(avcodec_free_context) X(avcodec_get_name) X(avcodec_open2)          \
                          X(avcodec_parameters_from_context) X(avcodec_parameters_to_context) X(avcodec_receive_frame) \
                              X(avcodec_receive_packet) X(avcodec_send_frame) X(avcodec_send_packet)                   \
                                  X(avformat_alloc_context) X(avformat_alloc_output_context2) X(avformat_close_input)  \
                                      X(avformat_find_stream_info) X(avformat_free_context)                            \
                                          X(avformat_index_get_entries_count) X(avformat_index_get_entry)              \
                                              X(avformat_new_stream) X(avformat_open_input) X(avformat_query_codec)    \
                                                  X(avformat_write_header) X(avio_alloc_context) X(avio_context_free)  \
                                                      X(avio_flush) X(avio_seek) X(swr_alloc_set_opts2) X(swr_convert) \
                                                          X(swr_free) X(swr_get_out_samples) X(swr_init)               \
                                                              X(sws_freeContext) X(sws_getCachedContext)               \
                                                                  X(sws_getCoefficients) X(sws_getColorspaceDetails)   \
                                                                      X(sws_getContext) X(sws_scale)                   \
                                                                          X(sws_setColorspaceDetails)

struct FfmpegApi {
#define VEX_FFMPEG_POINTER(name) decltype(&::name) name;
  VEX_FFMPEG_FUNCTIONS(VEX_FFMPEG_POINTER)
#undef VEX_FFMPEG_POINTER
};

// Loads the libraries once per process (any thread); false, with the
// loader's words in `reason` when given, when one of them or one of the
// functions is missing. Every later call gives the same answer.
bool ffmpeg_load(std::string *reason = nullptr);

// The table, for code that runs only after ffmpeg_load() succeeded.
const FfmpegApi &ff();

} // namespace vex::movie

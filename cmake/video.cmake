# Video animations: FFmpeg's demuxers and decoders, its scaler for the display's pixel format
# and its resampler for the sound engine.
pkg_check_modules(VK_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libswresample libavutil)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_FFMPEG)

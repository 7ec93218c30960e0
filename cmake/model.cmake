# Models: compressed .x files are inflated through zlib.
pkg_check_modules(VK_ZLIB REQUIRED IMPORTED_TARGET zlib)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_ZLIB)

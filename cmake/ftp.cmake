# FTP through libcurl.
pkg_check_modules(VK_CURL REQUIRED IMPORTED_TARGET libcurl)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_CURL)

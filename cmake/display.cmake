# Display: PNG frames, text through FreeType and fontconfig.
pkg_check_modules(VK_PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(VK_FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(VK_FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_PNG PkgConfig::VK_FREETYPE PkgConfig::VK_FONTCONFIG)
# Image files: JPEG through libjpeg(-turbo); TIFF through libtiff, opened on first use
# (libraries.cmake), as is the 3D device's OpenGL through EGL.
pkg_check_modules(VK_JPEG REQUIRED IMPORTED_TARGET libjpeg)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_JPEG)

# Display: PNG frames, text through FreeType and fontconfig.
pkg_check_modules(VK_PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(VK_FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(VK_FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_PNG PkgConfig::VK_FREETYPE PkgConfig::VK_FONTCONFIG)
# Image files: JPEG through libjpeg(-turbo), TIFF through libtiff.
pkg_check_modules(VK_JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(VK_TIFF REQUIRED IMPORTED_TARGET libtiff-4)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_JPEG PkgConfig::VK_TIFF)
# The 3D device: OpenGL through EGL (no window needed).
pkg_check_modules(VK_EGL REQUIRED IMPORTED_TARGET egl)
pkg_check_modules(VK_OPENGL REQUIRED IMPORTED_TARGET opengl)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_EGL PkgConfig::VK_OPENGL)

# Display: PNG frames, text through FreeType and fontconfig.
pkg_check_modules(VK_PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(VK_FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(VK_FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
target_link_libraries(vellumark_lib PUBLIC PkgConfig::VK_PNG PkgConfig::VK_FREETYPE PkgConfig::VK_FONTCONFIG)

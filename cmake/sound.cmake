# The MPEG audio decoder's inner loops (synthesis window, transforms) are written for the
# vectoriser, which -O2 leaves mostly unused.
file(GLOB VK_MPEG_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sound/engine/mpeg/*.cpp)
set_source_files_properties(${VK_MPEG_SOURCES} PROPERTIES COMPILE_OPTIONS "-O3")

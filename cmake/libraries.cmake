# Libraries opened on first use (platform/libs/) rather than linked (SDL2 too: a start that
# shows no window needs none of it): each is found through its
# pkg-config module at configure time and opened at run time by its SONAME, so the version
# the headers describe is the one loaded.
function(vk_soname var module lib)
  find_library(VK_LIBPATH_${lib} NAMES ${lib} HINTS ${${module}_LIBRARY_DIRS})
  if(NOT VK_LIBPATH_${lib})
    message(FATAL_ERROR "library ${lib} of ${module} not found")
  endif()
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${VK_LIBPATH_${lib}} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT dump MATCHES "SONAME +([^ \n]+)")
    message(FATAL_ERROR "no SONAME found in ${VK_LIBPATH_${lib}}")
  endif()
  set(${var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

function(vk_lazy_library source)
  set(defs)
  foreach(entry ${ARGN})
    string(REPLACE ":" ";" fields ${entry})
    list(GET fields 0 name)
    list(GET fields 1 module)
    list(GET fields 2 lib)
    vk_soname(soname ${module} ${lib})
    list(APPEND defs VK_SONAME_${name}="${soname}")
  endforeach()
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/platform/libs/${source} APPEND PROPERTY COMPILE_DEFINITIONS ${defs})
endfunction()

pkg_check_modules(VK_TIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(VK_EGL REQUIRED IMPORTED_TARGET egl)
pkg_check_modules(VK_OPENGL REQUIRED IMPORTED_TARGET opengl)
pkg_check_modules(VK_CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(VK_FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
pkg_check_modules(VK_SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(VK_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libswresample libavutil)

vk_lazy_library(tiff_api.cpp TIFF:VK_TIFF:tiff)
vk_lazy_library(gl_api.cpp EGL:VK_EGL:EGL OPENGL:VK_OPENGL:OpenGL)
vk_lazy_library(sdl_api.cpp SDL2:VK_SDL2:SDL2)
vk_lazy_library(curl_api.cpp CURL:VK_CURL:curl)
vk_lazy_library(fluidsynth_api.cpp FLUIDSYNTH:VK_FLUIDSYNTH:fluidsynth)
vk_lazy_library(ffmpeg_api.cpp AVUTIL:VK_FFMPEG:avutil AVCODEC:VK_FFMPEG:avcodec AVFORMAT:VK_FFMPEG:avformat
  SWRESAMPLE:VK_FFMPEG:swresample SWSCALE:VK_FFMPEG:swscale)

# Their headers only: the types and constants the tables are declared with.
foreach(module VK_SDL2 VK_TIFF VK_EGL VK_OPENGL VK_CURL VK_FLUIDSYNTH VK_FFMPEG)
  target_include_directories(vellumark_lib SYSTEM PUBLIC ${${module}_INCLUDE_DIRS})
endforeach()
target_link_libraries(vellumark_lib PUBLIC ${CMAKE_DL_LIBS})

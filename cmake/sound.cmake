# Sound: the engine's threaded tests (mixer, recording and program threads) as one binary of
# the engine alone under ThreadSanitizer, built with -DVK_SOUND_TSAN=ON (clang).
option(VK_SOUND_TSAN "Build test_sound_tsan: the sound engine's thread tests under ThreadSanitizer" OFF)
if(VK_SOUND_TSAN)
  find_package(GTest REQUIRED)
  file(GLOB_RECURSE vk_sound_engine CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sound/engine/*.cpp)
  add_executable(test_sound_tsan ${vk_sound_engine}
    ${CMAKE_SOURCE_DIR}/platform/audio.cpp ${CMAKE_SOURCE_DIR}/platform/fs.cpp ${CMAKE_SOURCE_DIR}/platform/fs_ops.cpp ${CMAKE_SOURCE_DIR}/platform/fs_name_index.cpp ${CMAKE_SOURCE_DIR}/platform/codepage.cpp ${CMAKE_SOURCE_DIR}/platform/codepage_tables.cpp ${CMAKE_SOURCE_DIR}/platform/codepage_case.cpp ${CMAKE_SOURCE_DIR}/platform/stop_request.cpp ${CMAKE_SOURCE_DIR}/platform/stop_signals.cpp ${CMAKE_SOURCE_DIR}/platform/unsaved_copies.cpp ${CMAKE_SOURCE_DIR}/platform/run_folders.cpp ${CMAKE_SOURCE_DIR}/platform/place_owner.cpp ${CMAKE_SOURCE_DIR}/platform/fs_walk.cpp ${CMAKE_SOURCE_DIR}/platform/message_name.cpp
    ${CMAKE_SOURCE_DIR}/platform/math3d.cpp
    ${CMAKE_SOURCE_DIR}/platform/libs/sdl_api.cpp ${CMAKE_SOURCE_DIR}/platform/libs/shared_library.cpp
    ${CMAKE_SOURCE_DIR}/tests/sound/threads_test.cpp ${CMAKE_SOURCE_DIR}/tests/sound/recording_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/sound/mixer_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp ${CMAKE_SOURCE_DIR}/tests/support/temp_dir.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/process.cpp)
  target_compile_options(test_sound_tsan PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(test_sound_tsan PRIVATE -fsanitize=thread)
  target_include_directories(test_sound_tsan PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(test_sound_tsan PRIVATE VK_BINARY_DIR="${CMAKE_BINARY_DIR}")
  target_link_libraries(test_sound_tsan PRIVATE PkgConfig::VK_SDL2 Threads::Threads GTest::gtest ${CMAKE_DL_LIBS})
endif()

# The MPEG audio decoder's inner loops (synthesis window, transforms) are written for the
# vectoriser, which -O2 leaves mostly unused.
file(GLOB VK_MPEG_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sound/engine/mpeg/*.cpp)
set_source_files_properties(${VK_MPEG_SOURCES} PROPERTIES COMPILE_OPTIONS "-O3")

# Music: MIDI files are rendered by FluidSynth with a General MIDI SoundFont, opened on first
# use (libraries.cmake).

# The pipeline: audio capture and buffer, desktop sharing, the capture facade and
# the device factory, on the encoders (encoders.cmake).
add_library(vantor_desktopsharing STATIC
  ${CMAKE_CURRENT_LIST_DIR}/audiobuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/audiocapture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/devicefactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktopsharing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture.cpp)
target_link_libraries(vantor_desktopsharing PUBLIC
  vantor_encoders vantor_testsources vantor_framepool vantor_log
  PkgConfig::FFMPEG Threads::Threads)
if(WIN32)
  # The real devices: GDI and DXGI screen and window capture, WASAPI system
  # audio, and the desktop-duplication path with NVENC.
  target_link_libraries(vantor_desktopsharing PUBLIC
    vantor_screencapture vantor_audiodevices vantor_dxgicapture)
elseif(UNIX AND NOT APPLE)
  # The real devices: X11 screen and window capture, PulseAudio system audio.
  target_link_libraries(vantor_desktopsharing PUBLIC vantor_screencapture vantor_audiodevices)
endif()

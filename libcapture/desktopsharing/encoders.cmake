# H.264 (libx264 through libavcodec) and AAC encoders of the desktop sharing pipeline.
add_library(vantor_encoders STATIC
  ${CMAKE_CURRENT_LIST_DIR}/adtsheader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/aacencoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/h264encoder.cpp)
target_include_directories(vantor_encoders PUBLIC ${LIBYUV_INCLUDE_DIR})
target_link_libraries(vantor_encoders PUBLIC PkgConfig::FFMPEG ${LIBYUV_LIBRARY} vantor_log)

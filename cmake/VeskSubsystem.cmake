# vesk_subsystem(<name> [DEPS <targets>...] [LIBS <libraries>...])
#
# One static library per folder under src/: the portable sources of
# src/<name>/ plus the backend sources of src/<name>/<platform>/, where
# <platform> is "linux" or "win". Code that needs the FFmpeg libraries sits in
# src/<name>/ffmpeg/; its stand-in for builds without them in
# src/<name>/no_ffmpeg/ (same functions, failing with a clear message). The
# window toolkit works the same way: src/<name>/qt/ with the Qt window,
# src/<name>/no_qt/ for a Linux build without it (VESK_UI_TOOLKIT). Targets
# are named vesk_<name>; headers are included as "<name>/file.h".
function(vesk_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS;LIBS" ${ARGN})
  file(GLOB portable CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB backend CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${VESK_PLATFORM}/*.cpp)
  if(VESK_WITH_FFMPEG)
    file(GLOB optional CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ffmpeg/*.cpp)
    if(optional)
      list(APPEND ARG_LIBS vesk_ffmpeg)
    endif()
  else()
    file(GLOB optional CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/no_ffmpeg/*.cpp)
  endif()
  list(APPEND backend ${optional})
  if(VESK_UI_TOOLKIT)
    file(GLOB toolkit CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${VESK_UI_TOOLKIT}/*.cpp)
    if(toolkit AND VESK_UI_TOOLKIT STREQUAL "qt")
      list(APPEND ARG_LIBS Qt6::Widgets Qt6::DBus)
    endif()
    list(APPEND backend ${toolkit})
  endif()
  set(target vesk_${name})
  if(portable OR backend)
    add_library(${target} STATIC ${portable} ${backend})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS} ${ARG_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS} ${ARG_LIBS})
  endif()
endfunction()

# The library's modules shared by the Win32 and the native build. The Win32
# build adds src/shared_section.cpp (the shared data section); the native one
# brings its own home for the machine-wide block.
set(VANTRI_LIBRARY_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/src/state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/channel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/port.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/dllmain.cpp)
set(VANTRI_LIBRARY_INCLUDE_DIRS
  ${CMAKE_CURRENT_LIST_DIR}/include
  ${CMAKE_CURRENT_LIST_DIR}/src)

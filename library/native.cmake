# Native build of the library's logic (included by library/CMakeLists.txt):
# the same modules as vantri.dll, against winlayer/ instead of Win32, with
# the machine-wide block in POSIX shared memory. Linked into the native
# tests, the fuzzer and the benchmark.
add_library(vantri_native STATIC
  ${VANTRI_LIBRARY_COMMON_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/src/shared_posix.cpp)
target_include_directories(vantri_native PUBLIC
  ${CMAKE_CURRENT_LIST_DIR}/include
  ${CMAKE_CURRENT_LIST_DIR}/src
  ${VANTRI_SOURCE_DIR}/winlayer/include)
target_link_libraries(vantri_native PUBLIC winlayer vantrisim_model rt)
target_compile_options(vantri_native PRIVATE -Wall -Wextra)

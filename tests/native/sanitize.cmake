# Included right after project() (CMAKE_PROJECT_INCLUDE) by the variant
# builds of tests/native/run.sh, so every target of the native tree is
# instrumented alike.
#   VANTRI_SANITIZE=address  AddressSanitizer + UndefinedBehaviorSanitizer
#   VANTRI_SANITIZE=thread   ThreadSanitizer
#   VANTRI_FUZZ=ON           libFuzzer instrumentation with ASan + UBSan (clang)
set(VANTRI_SANITIZE "" CACHE STRING "address, thread or empty")
option(VANTRI_FUZZ "build the libFuzzer target" OFF)

if(VANTRI_SANITIZE STREQUAL "address" OR VANTRI_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VANTRI_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VANTRI_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VANTRI_SANITIZE: address, thread or empty, not ${VANTRI_SANITIZE}")
endif()
if(VANTRI_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

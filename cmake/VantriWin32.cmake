# Shared settings of the cross build.
#
# Deliverables (vantri.dll, vantri-check.exe) carry no C or C++ runtime:
# vantri_deliverable() strips exceptions, RTTI and the default libraries so
# their only imports are system DLLs. Test programs may use the static
# runtime freely.

set(VANTRI_NT4_LINK -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
                    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)

function(vantri_deliverable target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables>
    -ffreestanding -fno-stack-protector -fno-builtin -Os -Wall -Wextra)
  target_link_options(${target} PRIVATE -nostdlib -nostartfiles -static-libgcc ${VANTRI_NT4_LINK})
endfunction()

# Every Wine test runs through tools/wine-run.sh in the build's own prefix,
# one at a time: they share the simulator and the library's shared section.
function(vantri_add_wine_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "COMMAND" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${VANTRI_SOURCE_DIR}/tools/wine-run.sh ${ARG_COMMAND})
  set_tests_properties(${name} PROPERTIES
    RESOURCE_LOCK wine_simulator
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "VANTRI_BUILD=${VANTRI_BUILD_ROOT}")
endfunction()

# How this machine starts the 32-bit programs the x86 build makes for its
# tests: natively, or under qemu-i386 when the kernel refuses i386 programs
# ("Exec format error", as some virtual machines and container runtimes do).
#
# Found out at configure time by running a tiny program, because
# gtest_discover_tests and CTest must know it before any test runs. Setting
# WEDGESIM_I386_EMULATOR in the environment (to 1, or to the emulator's path)
# forces the emulator on any machine; 0 forbids it.
#
# Sets CMAKE_CROSSCOMPILING_EMULATOR (honoured by CTest, gtest_discover_tests
# and add_test) and WEDGESIM_TEST_EMULATOR, the command that tests prepend
# when they start a program of this build's width themselves ("" natively).

function(wedgesim_find_i386_emulator out)
  set(${out} "" PARENT_SCOPE)
  find_program(WEDGESIM_QEMU_I386 NAMES qemu-i386 qemu-i386-static)
  if(WEDGESIM_QEMU_I386)
    set(${out} "${WEDGESIM_QEMU_I386}" PARENT_SCOPE)
  endif()
endfunction()

set(WEDGESIM_TEST_EMULATOR "")
set(_forced "$ENV{WEDGESIM_I386_EMULATOR}")
if(_forced STREQUAL "0")
  set(_mode "native (WEDGESIM_I386_EMULATOR=0)")
elseif(_forced)
  if(_forced STREQUAL "1")
    wedgesim_find_i386_emulator(WEDGESIM_TEST_EMULATOR)
  else()
    set(WEDGESIM_TEST_EMULATOR "${_forced}")
  endif()
  if(NOT WEDGESIM_TEST_EMULATOR)
    message(FATAL_ERROR "WEDGESIM_I386_EMULATOR asks for qemu-i386, which is not installed "
                        "(Debian package qemu-user)")
  endif()
  set(_mode "under ${WEDGESIM_TEST_EMULATOR} (forced by WEDGESIM_I386_EMULATOR)")
else()
  set(_probe_dir "${CMAKE_BINARY_DIR}/i386-probe")
  file(WRITE "${_probe_dir}/probe.c" "int main(void) { return 0; }\n")
  try_compile(_built "${_probe_dir}/build" "${_probe_dir}/probe.c"
              COPY_FILE "${_probe_dir}/probe")
  set(_ran 1)
  if(_built)
    execute_process(COMMAND "${_probe_dir}/probe" RESULT_VARIABLE _ran
                    OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(NOT _built)
    set(_mode "native (the probe did not build; the build itself will say why)")
  elseif(_ran STREQUAL "0")
    set(_mode "native")
  else()
    wedgesim_find_i386_emulator(WEDGESIM_TEST_EMULATOR)
    if(NOT WEDGESIM_TEST_EMULATOR)
      message(FATAL_ERROR "this machine cannot start i386 programs (${_ran}) and qemu-i386 is "
                          "not installed: run scripts/install-deps.sh (it installs qemu-user)")
    endif()
    set(_mode "under ${WEDGESIM_TEST_EMULATOR} (this machine cannot start i386 programs)")
  endif()
endif()

set(CMAKE_CROSSCOMPILING_EMULATOR "${WEDGESIM_TEST_EMULATOR}")
set(WEDGESIM_I386_RUNNER "${_mode}" CACHE INTERNAL "how the 32-bit tests run")
set(WEDGESIM_I386_EMULATOR_COMMAND "${WEDGESIM_TEST_EMULATOR}" CACHE INTERNAL
    "what starts a 32-bit program here (empty: the kernel does)")
message(STATUS "32-bit tests run ${_mode}")

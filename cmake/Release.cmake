# The release build (WEDGESIM_RELEASE=ON; scripts/release.sh makes it in a
# Debian 11 root): a library and a command that load on every x86 and x86-64
# Linux with glibc 2.17 or later, where the system's libstdc++ is older than
# the one we compile against.
#
# libstdc++ is linked in and its symbols are hidden (the version script hides
# them as well; --exclude-libs says so at the source), so neither the host's
# libstdc++ nor ours binds to the other's. libgcc_s stays shared: the host's
# exceptions are unwound through our frames by the host's unwinder, and with a
# static libgcc our frames were no longer found and the process aborted.
option(WEDGESIM_RELEASE "Link the library and the command for distribution" OFF)

if(WEDGESIM_RELEASE)
  foreach(target IN ITEMS wedgesim_addin wedgesim_cli)
    if(TARGET ${target})
      target_link_options(${target} PRIVATE
        -static-libstdc++ -Wl,--exclude-libs,ALL -Wl,-z,noexecstack -s)
    endif()
  endforeach()
  # The archive is named after it (scripts/release.sh).
  file(WRITE "${CMAKE_BINARY_DIR}/release-version" "${PROJECT_VERSION}\n")
endif()

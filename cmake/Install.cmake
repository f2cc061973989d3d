# `cmake --install` rules, for distribution packagers (the release archive has
# the same folders):
#   <libdir>/wedgesim/x86-64/libwedgesim64.so   the add-in library (x86/libwedgesim32.so)
#   <libdir>/wedgesim/x86-64/wedgesim           the reference host, beside it
#   <bindir>/wedgesim (wedgesim32 for x86)      a link to that command
#   <datadir>/doc/wedgesim/README.md
# The command loads the library beside its own file (symbolic links resolved),
# so the program itself lives with the library and only a link is on the PATH.
# A folder per width lets both widths share one libdir.
include(GNUInstallDirs)

if(WEDGESIM_BITS EQUAL 64)
  set(_width_dir x86-64)
  set(_command_link wedgesim)
else()
  set(_width_dir x86)
  set(_command_link wedgesim32)
endif()
set(WEDGESIM_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/wedgesim/${_width_dir}")

install(TARGETS wedgesim_addin LIBRARY DESTINATION ${WEDGESIM_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(TARGET wedgesim_cli)
  install(TARGETS wedgesim_cli RUNTIME DESTINATION ${WEDGESIM_INSTALL_DIR})
  # Relative, so the installed tree can be moved (DESTDIR, --prefix, packages).
  file(RELATIVE_PATH _command_target "${CMAKE_INSTALL_FULL_BINDIR}"
       "${CMAKE_INSTALL_FULL_LIBDIR}/wedgesim/${_width_dir}/wedgesim")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/install-links")
  file(CREATE_LINK "${_command_target}" "${CMAKE_BINARY_DIR}/install-links/${_command_link}" SYMBOLIC)
  install(FILES "${CMAKE_BINARY_DIR}/install-links/${_command_link}" DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# What is installed, and where: `cmake --install` for packagers, and the
# layouts of the release's .deb and .rpm packages (cmake/Packages.cmake).
# Every layout holds the same files:
#   <program dir>/libwedgesim64.so      the add-in library (libwedgesim32.so for x86)
#   <program dir>/wedgesim              the reference host, beside it
#   bin/wedgesim (wedgesim32 for x86)   a relative link to that command
#   share/man/man1/wedgesim.1.gz        the manual page (and wedgesim32.1.gz, a link)
#   share/bash-completion/completions/wedgesim   (and wedgesim32, a link)
#   <zsh dir>/_wedgesim                 (completes both commands)
#   share/fish/vendor_completions.d/wedgesim.fish   (and wedgesim32.fish)
#   share/doc/wedgesim/README.md.gz, copyright
# The command loads the library beside its own file (symbolic links
# resolved), so the program itself lives with the library and only a link is
# on the PATH. The library is a plug-in, not on the loader's path: no soname
# links, nothing for ldconfig.
include(GNUInstallDirs)

if(WEDGESIM_BITS EQUAL 64)
  set(_width_dir x86-64)
  set(WEDGESIM_COMMAND_NAME wedgesim)
else()
  set(_width_dir x86)
  set(WEDGESIM_COMMAND_NAME wedgesim32)
endif()

# A multiarch libdir (lib/x86_64-linux-gnu, what GNUInstallDirs picks on
# Debian for the prefix /usr) already keeps the widths apart; any other needs
# a folder per width so that both widths can share it.
if(CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_LIBDIR MATCHES "/${CMAKE_LIBRARY_ARCHITECTURE}$")
  set(_program_dir "${CMAKE_INSTALL_LIBDIR}/wedgesim")
else()
  set(_program_dir "${CMAKE_INSTALL_LIBDIR}/wedgesim/${_width_dir}")
endif()
set(WEDGESIM_INSTALL_DIR "${_program_dir}" CACHE STRING
    "Where `cmake --install` puts the library and the command (relative to the prefix)")

# ---- The documents, made at build time -------------------------------------
# Compressed as Debian wants (gzip -n: no name or time inside, so both widths'
# packages carry the very same bytes). The copyright file is docs/copyright
# with the Apache License's text, taken from the GS1 dictionary's LICENSE.
set(_docs ${CMAKE_BINARY_DIR}/docs)
set(WEDGESIM_MAN_PAGE ${_docs}/wedgesim.1.gz)
set(WEDGESIM_README ${_docs}/README.md.gz)
set(WEDGESIM_COPYRIGHT ${_docs}/copyright)
function(wedgesim_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9 -n -c \"$1\" >\"$2\"" sh ${source} ${output} DEPENDS ${source} VERBATIM)
endfunction()
wedgesim_gzip(${CMAKE_SOURCE_DIR}/docs/wedgesim.1 ${WEDGESIM_MAN_PAGE})
wedgesim_gzip(${CMAKE_SOURCE_DIR}/README.md ${WEDGESIM_README})
add_custom_command(OUTPUT ${WEDGESIM_COPYRIGHT}
  COMMAND ${CMAKE_COMMAND} -DHEAD=${CMAKE_SOURCE_DIR}/docs/copyright
          -DAPACHE=${CMAKE_SOURCE_DIR}/host/gs1/dictionary/LICENSE -DOUTPUT=${WEDGESIM_COPYRIGHT}
          -P ${CMAKE_SOURCE_DIR}/cmake/Copyright.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/copyright ${CMAKE_SOURCE_DIR}/host/gs1/dictionary/LICENSE
          ${CMAKE_SOURCE_DIR}/cmake/Copyright.cmake
  VERBATIM)
add_custom_target(wedgesim_docs ALL DEPENDS ${WEDGESIM_MAN_PAGE} ${WEDGESIM_README} ${WEDGESIM_COPYRIGHT})

# The 32-bit command's own names for the same page and completions: bash and
# fish look a command's completion up by its name; zsh reads the #compdef line,
# which names both. fish gets wedgesim's completions said for wedgesim32 (a
# --wraps would need a wedgesim command, which the 32-bit package alone lacks).
set(_aliases)
if(WEDGESIM_COMMAND_NAME STREQUAL wedgesim32)
  set(_alias_dir ${CMAKE_BINARY_DIR}/install-aliases)
  file(MAKE_DIRECTORY ${_alias_dir})
  file(CREATE_LINK wedgesim.1.gz ${_alias_dir}/wedgesim32.1.gz SYMBOLIC)
  file(CREATE_LINK wedgesim ${_alias_dir}/wedgesim32 SYMBOLIC)
  set(_fish ${CMAKE_SOURCE_DIR}/completions/wedgesim.fish)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_fish})
  file(READ ${_fish} _completions)
  string(REPLACE "complete -c wedgesim " "complete -c wedgesim32 " _completions "${_completions}")
  file(WRITE ${_alias_dir}/wedgesim32.fish
       "# completions/wedgesim.fish, for wedgesim32 (cmake/Install.cmake)\n${_completions}")
  set(_aliases man ${_alias_dir}/wedgesim32.1.gz bash ${_alias_dir}/wedgesim32
               fish ${_alias_dir}/wedgesim32.fish)
endif()

# Installs one layout. PROGRAM_DIR holds the library and the command, ZSH_DIR
# is where this system's zsh finds completion functions, PREFIX is the prefix
# the layout is made for (only to make the link on the PATH relative).
function(wedgesim_install_layout)
  cmake_parse_arguments(arg "EXCLUDE_FROM_ALL" "COMPONENT;PREFIX;PROGRAM_DIR;BIN_DIR;ZSH_DIR;MAN_DIR;DOC_DIR" "" ${ARGN})
  set(options COMPONENT ${arg_COMPONENT})
  if(arg_EXCLUDE_FROM_ALL)
    list(APPEND options EXCLUDE_FROM_ALL)
  endif()

  # A plug-in is read, never run: 0644, as Debian wants of shared objects.
  install(TARGETS wedgesim_addin LIBRARY DESTINATION ${arg_PROGRAM_DIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ ${options})
  install(TARGETS wedgesim_cli RUNTIME DESTINATION ${arg_PROGRAM_DIR} ${options})
  # Relative, so the installed tree can be moved (DESTDIR, --prefix, packages).
  set(_program "${arg_PROGRAM_DIR}")
  set(_bin "${arg_BIN_DIR}")
  foreach(var _program _bin)
    if(NOT IS_ABSOLUTE "${${var}}")
      set(${var} "${arg_PREFIX}/${${var}}")
    endif()
  endforeach()
  file(RELATIVE_PATH _target "${_bin}" "${_program}/wedgesim")
  set(_link_dir "${CMAKE_BINARY_DIR}/install-layouts/${arg_COMPONENT}")
  file(MAKE_DIRECTORY "${_link_dir}")
  file(CREATE_LINK "${_target}" "${_link_dir}/${WEDGESIM_COMMAND_NAME}" SYMBOLIC)
  install(FILES "${_link_dir}/${WEDGESIM_COMMAND_NAME}" DESTINATION ${arg_BIN_DIR} ${options})

  install(FILES ${WEDGESIM_MAN_PAGE} DESTINATION ${arg_MAN_DIR}/man1 ${options})
  install(FILES ${CMAKE_SOURCE_DIR}/completions/wedgesim.bash RENAME wedgesim
          DESTINATION share/bash-completion/completions ${options})
  install(FILES ${CMAKE_SOURCE_DIR}/completions/_wedgesim DESTINATION ${arg_ZSH_DIR} ${options})
  install(FILES ${CMAKE_SOURCE_DIR}/completions/wedgesim.fish
          DESTINATION share/fish/vendor_completions.d ${options})
  install(FILES ${WEDGESIM_README} ${WEDGESIM_COPYRIGHT} DESTINATION ${arg_DOC_DIR} ${options})
  if(_aliases)
    cmake_parse_arguments(alias "" "man;bash;fish" "" ${_aliases})
    install(FILES ${alias_man} DESTINATION ${arg_MAN_DIR}/man1 ${options})
    install(FILES ${alias_bash} DESTINATION share/bash-completion/completions ${options})
    install(FILES ${alias_fish} DESTINATION share/fish/vendor_completions.d ${options})
  endif()
endfunction()

# `cmake --install`: the GNU directories of this build, zsh's own folder for
# its prefix.
wedgesim_install_layout(COMPONENT wedgesim PREFIX "${CMAKE_INSTALL_PREFIX}"
  PROGRAM_DIR "${WEDGESIM_INSTALL_DIR}" BIN_DIR "${CMAKE_INSTALL_BINDIR}"
  MAN_DIR "${CMAKE_INSTALL_MANDIR}" DOC_DIR "${CMAKE_INSTALL_DOCDIR}"
  ZSH_DIR share/zsh/site-functions)

# The packages' layouts, installed only when asked for by name (cpack does):
# Debian's multiarch folder and zsh's vendor folder; the RPM distributions'
# libdir (lib64 for x86-64, lib for x86) and their zsh folder.
if(WEDGESIM_BITS EQUAL 64)
  set(WEDGESIM_DEB_PROGRAM_DIR lib/x86_64-linux-gnu/wedgesim)
  set(WEDGESIM_RPM_PROGRAM_DIR lib64/wedgesim)
else()
  set(WEDGESIM_DEB_PROGRAM_DIR lib/i386-linux-gnu/wedgesim)
  set(WEDGESIM_RPM_PROGRAM_DIR lib/wedgesim)
endif()
wedgesim_install_layout(COMPONENT deb EXCLUDE_FROM_ALL PREFIX /usr
  PROGRAM_DIR ${WEDGESIM_DEB_PROGRAM_DIR} BIN_DIR bin MAN_DIR share/man DOC_DIR share/doc/wedgesim
  ZSH_DIR share/zsh/vendor-completions)
wedgesim_install_layout(COMPONENT rpm EXCLUDE_FROM_ALL PREFIX /usr
  PROGRAM_DIR ${WEDGESIM_RPM_PROGRAM_DIR} BIN_DIR bin MAN_DIR share/man DOC_DIR share/doc/wedgesim
  ZSH_DIR share/zsh/site-functions)

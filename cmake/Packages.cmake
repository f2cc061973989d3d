# The .deb and .rpm packages of one width, made by cpack from the release
# build (scripts/release-packages.sh runs it inside the Debian 11 root):
#   wedgesim_<version>-1_amd64.deb   wedgesim-<version>-1.x86_64.rpm   (x64)
#   wedgesim_<version>-1_i386.deb    wedgesim-<version>-1.i686.rpm     (x86)
# Each installs its format's layout of cmake/Install.cmake. Both widths are one
# package, wedgesim, of two architectures: they install side by side on a
# multiarch system, the documents and completions being the same bytes in
# both (Debian's Multi-Arch: same; RPM's multilib shares identical files), so
# either width alone is complete.
set(CPACK_PACKAGE_NAME wedgesim)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(WEDGESIM_PACKAGE_RELEASE 1 CACHE STRING "The packages' own revision of this version")
set(WEDGESIM_PACKAGE_MAINTAINER "wedgesim maintainers <maintainers@wedgesim.invalid>"
    CACHE STRING "The packages' maintainer, as Name <address>")
set(CPACK_PACKAGE_CONTACT "${WEDGESIM_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "barcode scanner emulator for testing business applications")
# Lines of at most 80 columns, as a package manager shows them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "wedgesim is a barcode scanner emulator for testing business applications on"
  "Linux without hardware: an add-in library that the application platform loads"
  "as a scanner driver, and wedgesim, a command that loads it as the platform"
  "does and scans barcodes into a running application."
  "The library is in a folder of its own (a plug-in, not on the loader's path);"
  "each width's package brings its library and command (wedgesim32 for 32 bits).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Which layout each format installs is chosen per generator, at cpack time.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/PackageLayout.cmake)

# ---- Debian -----------------------------------------------------------------
# What the programs need (objdump -p: libX11, libxcb, libXtst, libgcc_s and
# glibc 2.17; libstdc++ is linked in), as package names; the release checks
# them against dpkg-shlibdeps (scripts/release-packages.sh). libgcc1 is
# libgcc_s's package before Debian 11 (and older systems built on Debian); later
# libgcc-s1 provides it too.
set(WEDGESIM_DEB_DEPENDS
    "libc6 (>= 2.17), libgcc-s1 (>= 4.2) | libgcc1 (>= 1:4.2), libx11-6, libxcb1, libxtst6")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${WEDGESIM_DEB_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${WEDGESIM_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# NOTE: cpack writes no Multi-Arch field; scripts/release-packages.sh adds
# "Multi-Arch: same" after it.

# ---- RPM --------------------------------------------------------------------
# rpmbuild finds the requirements itself (libX11.so.6()(64bit) and so on);
# the library in its private folder provides nothing to other packages.
set(CPACK_RPM_PACKAGE_RELEASE ${WEDGESIM_PACKAGE_RELEASE})
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-not-yet-chosen AND Apache-2.0 AND BSD-3-Clause AND MIT AND LGPL-2.1-or-later AND GPL-3.0-or-later WITH GCC-exception-3.1")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_RELOCATABLE OFF)
set(CPACK_RPM_USER_BINARY_SPECFILE ${CMAKE_SOURCE_DIR}/cmake/rpm-recipe.in)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_COMPRESSION_TYPE xz)  # read by every rpm since RHEL 6; zstd is not
set(CPACK_RPM_PACKAGE_AUTOREQPROV ON)
# The files as the release linked them (no stripping, no debug package), no
# build-id links (each width's would differ), nothing provided from the
# private folder, and the build's time from SOURCE_DATE_EPOCH.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define __os_install_post %{nil}
%define debug_package %{nil}
%define _build_id_links none
%global __provides_exclude_from ^/usr/lib(64)?/wedgesim/
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _buildhost wedgesim-release")

if(WEDGESIM_BITS EQUAL 64)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_RPM_PACKAGE_ARCHITECTURE x86_64)
else()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
  set(CPACK_RPM_PACKAGE_ARCHITECTURE i686)
endif()

set(CPACK_GENERATOR DEB RPM)
include(CPack)

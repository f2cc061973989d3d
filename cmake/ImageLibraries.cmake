# The libraries under the command's image engine (host/image), as imported
# targets:
#   wedgesim::zxing  zxing-cpp 1.4, reads barcodes (WEDGESIM_HAVE_ZXING; required
#                    but in the release, whose root may lack its source)
#   wedgesim::stb    stb_image and stb_image_write, header-only (required)
#   wedgesim::zint   libzint 2.11, renders labels (optional: WEDGESIM_HAVE_ZINT)
#
# Regular builds take Debian 12's packages (libzxing-dev, libstb-dev,
# libzint-dev; the i386 ones through cmake/i386.cmake). Debian's libzint-dev
# installs /usr/lib/libzint.so, outside the multiarch folders, so only one
# width of it can be installed: a library is taken only when a program of this
# build's width links against it, and without it labels are left out.
#
# The release build sets WEDGESIM_IMAGE_PREFIX to a prefix holding static,
# position-independent builds of both (scripts/release-deps.sh makes them in
# the Debian 11 root); only that prefix is searched, and zint must be there.
include(CheckCXXSourceCompiles)
include(CheckCSourceCompiles)

set(WEDGESIM_IMAGE_PREFIX "" CACHE PATH
    "Prefix of static zxing-cpp and zint builds for the release (empty: the system's)")

# Whether a program of this build's width links against `library`.
function(wedgesim_links out language include library source)
  set(CMAKE_REQUIRED_INCLUDES "${include}")
  set(CMAKE_REQUIRED_LIBRARIES "${library};Threads::Threads")
  set(CMAKE_REQUIRED_QUIET ON)
  if(language STREQUAL CXX)
    check_cxx_source_compiles("${source}" ${out})
  else()
    check_c_source_compiles("${source}" ${out})
  endif()
  set(${out} ${${out}} PARENT_SCOPE)
endfunction()

function(wedgesim_import name library include)
  add_library(${name} UNKNOWN IMPORTED)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${library}"
                        INTERFACE_INCLUDE_DIRECTORIES "${include}")
endfunction()

if(WEDGESIM_IMAGE_PREFIX)
  set(_search PATHS "${WEDGESIM_IMAGE_PREFIX}" PATH_SUFFIXES lib include NO_DEFAULT_PATH)
  find_path(WEDGESIM_ZXING_INCLUDE ZXing/ReadBarcode.h ${_search})
  find_library(WEDGESIM_ZXING_LIBRARY NAMES libZXing.a ${_search})
  find_path(WEDGESIM_ZINT_INCLUDE zint.h ${_search})
  find_library(WEDGESIM_ZINT_LIBRARY NAMES libzint-static.a libzint.a ${_search})
else()
  find_path(WEDGESIM_ZXING_INCLUDE ZXing/ReadBarcode.h)
  find_library(WEDGESIM_ZXING_LIBRARY NAMES ZXing)
  find_path(WEDGESIM_ZINT_INCLUDE zint.h)
  find_library(WEDGESIM_ZINT_LIBRARY NAMES zint)
endif()
find_path(WEDGESIM_STB_INCLUDE stb/stb_image.h)

if(NOT WEDGESIM_STB_INCLUDE)
  message(FATAL_ERROR "stb's headers were not found (Debian package libstb-dev)")
endif()
add_library(wedgesim::stb INTERFACE IMPORTED)
set_target_properties(wedgesim::stb PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${WEDGESIM_STB_INCLUDE}")

if(WEDGESIM_ZXING_INCLUDE AND WEDGESIM_ZXING_LIBRARY)
  wedgesim_links(WEDGESIM_ZXING_LINKS CXX "${WEDGESIM_ZXING_INCLUDE}" "${WEDGESIM_ZXING_LIBRARY}"
    "#include <ZXing/ReadBarcode.h>
     int main() { return ZXing::ReadBarcodes({nullptr, 0, 0, ZXing::ImageFormat::Lum}).size() > 0; }")
endif()
set(WEDGESIM_HAVE_ZXING OFF)
if(WEDGESIM_ZXING_LINKS)
  set(WEDGESIM_HAVE_ZXING ON)
  wedgesim_import(wedgesim::zxing "${WEDGESIM_ZXING_LIBRARY}" "${WEDGESIM_ZXING_INCLUDE}")
  # text() as UTF-8, and no deprecation note in every file that includes Result.h.
  set_property(TARGET wedgesim::zxing PROPERTY INTERFACE_COMPILE_DEFINITIONS ZX_USE_UTF8)
  set_property(TARGET wedgesim::zxing PROPERTY INTERFACE_LINK_LIBRARIES Threads::Threads)
elseif(WEDGESIM_IMAGE_PREFIX)
  # The release root builds zxing-cpp only when the registry serves its source.
  message(WARNING "no static zxing-cpp in ${WEDGESIM_IMAGE_PREFIX}: this command cannot read "
                  "barcodes from images or the screen")
else()
  message(FATAL_ERROR "zxing-cpp of this build's width was not found "
                      "(Debian package libzxing-dev, or libzxing-dev:i386 for the x86 build)")
endif()

set(WEDGESIM_HAVE_ZINT OFF)
if(WEDGESIM_ZINT_INCLUDE AND WEDGESIM_ZINT_LIBRARY)
  wedgesim_links(WEDGESIM_ZINT_LINKS C "${WEDGESIM_ZINT_INCLUDE}" "${WEDGESIM_ZINT_LIBRARY};m"
    "#include <zint.h>
     int main(void) { return ZBarcode_ValidID(BARCODE_DATAMATRIX) ? 0 : 1; }")
  if(WEDGESIM_ZINT_LINKS)
    set(WEDGESIM_HAVE_ZINT ON)
    wedgesim_import(wedgesim::zint "${WEDGESIM_ZINT_LIBRARY}" "${WEDGESIM_ZINT_INCLUDE}")
    set_property(TARGET wedgesim::zint PROPERTY INTERFACE_LINK_LIBRARIES m)
  endif()
endif()
if(WEDGESIM_HAVE_ZINT)
  message(STATUS "labels: libzint ${WEDGESIM_ZINT_LIBRARY}")
elseif(WEDGESIM_IMAGE_PREFIX)
  message(FATAL_ERROR "no static zint of this width in ${WEDGESIM_IMAGE_PREFIX}")
else()
  message(STATUS "labels: left out (no libzint of this width: Debian's libzint-dev is amd64 "
                 "here, and its i386 twin cannot be installed beside it)")
endif()

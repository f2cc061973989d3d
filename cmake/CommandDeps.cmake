# What the command builds on besides the tree: CLI11 and nlohmann-json
# (headers only), pugixml (linked in, so the command needs no libpugixml
# where it runs). Debian's packages: libcli11-dev, nlohmann-json3-dev,
# libpugixml-dev.
find_path(WEDGESIM_CLI11_INCLUDE CLI/CLI.hpp)
find_path(WEDGESIM_JSON_INCLUDE nlohmann/json.hpp)
find_path(WEDGESIM_PUGIXML_INCLUDE pugixml.hpp)
find_library(WEDGESIM_PUGIXML_LIBRARY NAMES libpugixml.a pugixml)
foreach(found WEDGESIM_CLI11_INCLUDE WEDGESIM_JSON_INCLUDE WEDGESIM_PUGIXML_INCLUDE
              WEDGESIM_PUGIXML_LIBRARY)
  if(NOT ${found})
    message(FATAL_ERROR "${found} was not found (Debian packages libcli11-dev, "
                        "nlohmann-json3-dev and libpugixml-dev)")
  endif()
endforeach()
add_library(wedgesim::cli11 INTERFACE IMPORTED)
set_target_properties(wedgesim::cli11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${WEDGESIM_CLI11_INCLUDE}")
add_library(wedgesim::json INTERFACE IMPORTED)
set_target_properties(wedgesim::json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${WEDGESIM_JSON_INCLUDE}")
add_library(wedgesim::pugixml UNKNOWN IMPORTED)
set_target_properties(wedgesim::pugixml PROPERTIES
  IMPORTED_LOCATION "${WEDGESIM_PUGIXML_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${WEDGESIM_PUGIXML_INCLUDE}")

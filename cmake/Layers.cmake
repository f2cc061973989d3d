# The add-in's folders are layers. Each is an OBJECT library whose sources
# see only the headers of their own folder and of the layers it depends on
# (and theirs, in turn): its include path is a directory of links to exactly
# those folders, never the source root. An include from a lower folder into
# a higher one therefore fails to compile ("No such file or directory").
#
#   wedgesim_layer(NAME [STATIC|EXECUTABLE] [FOLDER path] SOURCES ... [DEPENDS layer...])
#
# The add-in's layers are object libraries, compiled with hidden visibility
# and linked into it whole; STATIC ones (the host side) are archives, and an
# EXECUTABLE one is the command.
# DEPENDS names the folders the layer's files include directly; the test
# Layers.GraphMatchesTheReadme holds it to the includes and to the README.
set(WEDGESIM_LAYER_SCOPES "${CMAKE_BINARY_DIR}/layer-scopes")
set(WEDGESIM_LAYER_GRAPH "${CMAKE_BINARY_DIR}/layers.txt")
file(WRITE "${WEDGESIM_LAYER_GRAPH}" "")

function(wedgesim_layer name)
  cmake_parse_arguments(LAYER "STATIC;EXECUTABLE" "FOLDER" "SOURCES;DEPENDS" ${ARGN})
  if(NOT LAYER_FOLDER)
    set(LAYER_FOLDER ${name})
  endif()
  set(folders ${LAYER_FOLDER})
  foreach(dependency IN LISTS LAYER_DEPENDS)
    get_property(scope GLOBAL PROPERTY WEDGESIM_LAYER_SCOPE_${dependency})
    if(NOT scope)
      message(FATAL_ERROR "layer ${name}: ${dependency} must be declared before it")
    endif()
    list(APPEND folders ${scope})
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set_property(GLOBAL PROPERTY WEDGESIM_LAYER_SCOPE_${name} "${folders}")
  set_property(GLOBAL PROPERTY WEDGESIM_LAYER_FOLDER_${name} "${LAYER_FOLDER}")

  set(scope_dir "${WEDGESIM_LAYER_SCOPES}/${name}")
  file(REMOVE_RECURSE "${scope_dir}")
  foreach(folder IN LISTS folders)
    get_filename_component(parent "${scope_dir}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${scope_dir}/${folder}" SYMBOLIC)
  endforeach()

  if(LAYER_STATIC)
    add_library(wedgesim_${name} STATIC ${LAYER_SOURCES})
  elseif(LAYER_EXECUTABLE)
    add_executable(wedgesim_${name} ${LAYER_SOURCES})
  else()
    add_library(wedgesim_${name} OBJECT ${LAYER_SOURCES})
    set_target_properties(wedgesim_${name} PROPERTIES
      CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  endif()
  target_include_directories(wedgesim_${name} PRIVATE "${scope_dir}")
  wedgesim_pedantic(wedgesim_${name})
  foreach(dependency IN LISTS LAYER_DEPENDS)
    target_link_libraries(wedgesim_${name} PUBLIC wedgesim_${dependency})
  endforeach()
  set(dependency_folders "")
  foreach(dependency IN LISTS LAYER_DEPENDS)
    get_property(folder GLOBAL PROPERTY WEDGESIM_LAYER_FOLDER_${dependency})
    list(APPEND dependency_folders ${folder})
  endforeach()
  string(REPLACE ";" ", " listed "${dependency_folders}")
  if(listed)
    set(listed " -> ${listed}")
  endif()
  file(APPEND "${WEDGESIM_LAYER_GRAPH}" "${LAYER_FOLDER}${listed}\n")
endfunction()

# The include directory a target outside the layers (the add-in's exports, a
# tool) uses to see `layer` and what it may see.
function(wedgesim_layer_scope target layer)
  target_include_directories(${target} PRIVATE "${WEDGESIM_LAYER_SCOPES}/${layer}")
endfunction()

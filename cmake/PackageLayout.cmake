# Included by cpack once per generator (CPACK_PROJECT_CONFIG_FILE): the .deb
# installs the build's "deb" layout and the .rpm its "rpm" layout
# (cmake/Install.cmake), each made for the prefix /usr.
list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 _build)
if(CPACK_GENERATOR STREQUAL "RPM")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${_build};wedgesim;rpm;/")
else()
  set(CPACK_INSTALL_CMAKE_PROJECTS "${_build};wedgesim;deb;/")
endif()

# The version of everything the tree builds, in one place: the project's
# VERSION, or ZANDREL_VERSION given at configure time (an installer of a later
# version is built that way in the upgrade test).
set(ZANDREL_VERSION ${PROJECT_VERSION} CACHE STRING "Version of the add-in, its tools and its installers (a.b.c)")
if(NOT ZANDREL_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "ZANDREL_VERSION must be three numbers, a.b.c (not '${ZANDREL_VERSION}')")
endif()

# zandrel_version_resource(TARGET DESCRIPTION): a VERSIONINFO resource for a
# Windows program or DLL of the tree.
function(zandrel_version_resource target description)
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "SHARED_LIBRARY")
    set(ZV_FILETYPE VFT_DLL)
    set(ZV_FILE ${name}.dll)
  else()
    set(ZV_FILETYPE VFT_APP)
    set(ZV_FILE ${name}.exe)
  endif()
  set(ZV_NAME ${name})
  set(ZV_DESCRIPTION ${description})
  string(REPLACE "." "," ZV_COMMAS "${ZANDREL_VERSION},0")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()

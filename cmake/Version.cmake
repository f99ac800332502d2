# zentor_version: the generated header zentor_version.h with ZENTOR_VERSION (the
# project version) and ZENTOR_VERSION_TEXT (plus the git description in a checkout).
# Refreshed at every build; files that include it recompile only when it changes.
set(ZENTOR_VERSION_DIR ${CMAKE_BINARY_DIR}/generated)
add_custom_target(zentor_version_header
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
          -DOUTPUT=${ZENTOR_VERSION_DIR}/zentor_version.h -DVERSION=${PROJECT_VERSION}
          -P ${CMAKE_CURRENT_LIST_DIR}/version-header.cmake
  BYPRODUCTS ${ZENTOR_VERSION_DIR}/zentor_version.h
  COMMENT "" VERBATIM)
add_library(zentor_version INTERFACE)
target_include_directories(zentor_version INTERFACE ${ZENTOR_VERSION_DIR})
add_dependencies(zentor_version zentor_version_header)

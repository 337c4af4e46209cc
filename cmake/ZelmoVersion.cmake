# The version every program prints for --version: project(VERSION), and in a git checkout
# the revision of the built tree. The revision is read again on every build, but the
# generated source is rewritten only when its text changed, so a build of an unchanged tree
# recompiles and relinks nothing.
set(ZELMO_VERSION_DIR ${CMAKE_BINARY_DIR}/generated)
set(ZELMO_VERSION_SOURCE ${ZELMO_VERSION_DIR}/BuildVersion.cpp)
set(zelmo_write_version
  ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
  -DOUTPUT=${ZELMO_VERSION_SOURCE} -P ${CMAKE_CURRENT_LIST_DIR}/WriteBuildVersion.cmake)

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildVersion.h.in ${ZELMO_VERSION_DIR}/BuildVersion.h
  @ONLY)
# The source must exist before the first build step that compiles it.
execute_process(COMMAND ${zelmo_write_version})

# BYPRODUCTS lets Ninja see that an unchanged file was left alone (restat).
add_custom_target(zelmo_version_text
  COMMAND ${zelmo_write_version}
  BYPRODUCTS ${ZELMO_VERSION_SOURCE}
  VERBATIM)
add_library(zelmo_version STATIC ${ZELMO_VERSION_SOURCE})
add_dependencies(zelmo_version zelmo_version_text)
target_include_directories(zelmo_version PUBLIC ${ZELMO_VERSION_DIR})

foreach(program zelmo zelmo-headless zelmo-sim)
  if(TARGET ${program})
    target_link_libraries(${program} PRIVATE zelmo_version)
  endif()
endforeach()

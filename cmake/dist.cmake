# The Octave package: `cmake --build build --target dist` writes
# build/spardyn-<version>.tar.gz, which `pkg install` builds and installs.
# The work is done at build time by dist_package.cmake, because the package
# version is the one the built module answers.
if(NOT SPARDYN_HOST STREQUAL "octave")
  return()
endif()

find_program(SPARDYN_OCTAVE_CLI octave-cli)

# What the package's src/ carries: whole folders, so that files may move
# inside them.  The package builds the module alone (no tests), so these are
# the folders the top-level CMakeLists.txt reads with SPARDYN_TESTS off.
set(SPARDYN_DIST_SOURCES CMakeLists.txt cmake include src host bench)

add_custom_target(dist
  COMMAND ${CMAKE_COMMAND}
          -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}
          -DBINARY_DIR=${CMAKE_CURRENT_BINARY_DIR}
          -DMODULE=$<TARGET_FILE:spardyn>
          -DOCTAVE_CLI=${SPARDYN_OCTAVE_CLI}
          "-DSOURCES=${SPARDYN_DIST_SOURCES}"
          -P ${CMAKE_CURRENT_LIST_DIR}/dist_package.cmake
  COMMENT "Making the Octave package"
  VERBATIM)
add_dependencies(dist spardyn)

# The round trip: make the package, install it into a scratch prefix, load it
# in a fresh Octave, compare with this build, uninstall.
if(SPARDYN_TESTS)
  add_test(NAME package
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/package/roundtrip.sh
                   ${CMAKE_CURRENT_BINARY_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(package PROPERTIES TIMEOUT 600)
endif()

# Makes the Octave package build/spardyn-<version>.tar.gz (cmake -P, run by
# the target "dist").  Inputs: SOURCE_DIR, BINARY_DIR, MODULE (the built
# spardyn.mex), OCTAVE_CLI, SOURCES (what the package's src/ carries).
#
# Layout of the package, as pkg install reads it:
#   DESCRIPTION COPYING INDEX pre_install.m
#   inst/           the helpers of m/ (with @chandle/ and private/) and the
#                   examples/ folder, which pkg load leaves off the path
#   doc/            the command documentation
#   src/Makefile    builds spardyn.mex from src/ and puts it beside the
#                   help-only spardyn.m into the architecture folder
cmake_minimum_required(VERSION 3.18)

set(pkg_files ${SOURCE_DIR}/tools/pkg)

# The package version is the version the module answers, M.mmpp, written
# M.m.p (1.0001 is 1.0.1, 1.0102 would be 1.1.2): pkg compares versions field
# by field, and this keeps their order.
function(module_version out)
  get_filename_component(module_dir ${MODULE} DIRECTORY)
  execute_process(
    COMMAND ${OCTAVE_CLI} --no-gui --norc --quiet --eval
            "addpath('${module_dir}'); v = spardyn(); s = sprintf('%.4f', v); if str2double(s) ~= v, s = sprintf('%.17g', v); end; printf('%s\\n', s);"
    OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_VARIABLE noise
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR version STREQUAL "")
    message(FATAL_ERROR "dist: could not ask ${MODULE} for its version:\n${noise}")
  endif()
  set(${out} ${version} PARENT_SCOPE)
endfunction()

function(package_version out module)
  if(NOT module MATCHES "^([0-9]+)\\.([0-9][0-9])([0-9][0-9])$")
    message(FATAL_ERROR "dist: the module's version ${module} is not of the form M.mmpp")
  endif()
  math(EXPR minor "${CMAKE_MATCH_2}")   # drops the leading zero
  math(EXPR patch "${CMAKE_MATCH_3}")
  set(${out} "${CMAKE_MATCH_1}.${minor}.${patch}" PARENT_SCOPE)
endfunction()

# The Debian packages the build needs, as tools/deps.sh names them.
function(build_packages out)
  execute_process(
    COMMAND bash -c "source \"$1\" && echo \"\${SPARDYN_BUILD_PACKAGES[@]}\"" deps
            ${SOURCE_DIR}/tools/deps.sh
    OUTPUT_VARIABLE packages OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR packages STREQUAL "")
    message(FATAL_ERROR "dist: could not read the build packages from tools/deps.sh")
  endif()
  set(${out} ${packages} PARENT_SCOPE)
endfunction()

# Every helper a user calls must be listed in INDEX, or pkg describe hides it.
function(check_index)
  file(READ ${pkg_files}/INDEX index)
  file(GLOB helpers RELATIVE ${SOURCE_DIR}/m ${SOURCE_DIR}/m/*.m ${SOURCE_DIR}/m/@*/*.m)
  set(missing "")
  foreach(helper IN LISTS helpers)
    string(REGEX REPLACE "\\.m$" "" name ${helper})
    if(name MATCHES "^@([^/]+)/([^/]+)$" AND CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
      set(name ${CMAKE_MATCH_1})                       # a class constructor
    endif()
    if(NOT index MATCHES "\n ${name}\n")
      list(APPEND missing ${name})
    endif()
  endforeach()
  if(missing)
    message(FATAL_ERROR "dist: tools/pkg/INDEX does not list: ${missing}")
  endif()
endfunction()

# Copies folder contents, leaving out editor and patch leftovers.
function(copy_tree from to)
  file(COPY ${from}/ DESTINATION ${to}
       PATTERN ".*" EXCLUDE PATTERN "*~" EXCLUDE
       PATTERN "*.orig" EXCLUDE PATTERN "*.rej" EXCLUDE)
endfunction()

check_index()
module_version(module)
package_version(version ${module})
build_packages(packages)
set(name spardyn-${version})
set(stage ${BINARY_DIR}/dist)
set(root ${stage}/${name})

file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${root}/inst ${root}/src/tools)

set(SPARDYN_PACKAGE_VERSION ${version})
set(SPARDYN_MODULE_VERSION ${module})
set(SPARDYN_BUILD_PACKAGES ${packages})
string(TIMESTAMP SPARDYN_PACKAGE_DATE "%Y-%m-%d" UTC)
configure_file(${pkg_files}/DESCRIPTION.in ${root}/DESCRIPTION @ONLY)
file(COPY ${pkg_files}/COPYING ${pkg_files}/INDEX ${pkg_files}/pre_install.m
     DESTINATION ${root})

copy_tree(${SOURCE_DIR}/m ${root}/inst)
copy_tree(${SOURCE_DIR}/examples ${root}/inst/examples)
copy_tree(${SOURCE_DIR}/docs ${root}/doc)

foreach(item IN LISTS SOURCES)
  if(IS_DIRECTORY ${SOURCE_DIR}/${item})
    copy_tree(${SOURCE_DIR}/${item} ${root}/src/${item})
  else()
    file(COPY ${SOURCE_DIR}/${item} DESTINATION ${root}/src)
  endif()
endforeach()
file(COPY ${SOURCE_DIR}/tools/deps.sh DESTINATION ${root}/src/tools)
file(COPY ${pkg_files}/Makefile DESTINATION ${root}/src)

# One package in build/: older versions' tarballs go.
file(GLOB old ${BINARY_DIR}/spardyn-*.tar.gz)
if(old)
  file(REMOVE ${old})
endif()
set(tarball ${BINARY_DIR}/${name}.tar.gz)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${tarball} ${name}
                WORKING_DIRECTORY ${stage}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dist: could not write ${tarball}")
endif()
message(STATUS "Octave package: ${tarball} (module version ${module})")

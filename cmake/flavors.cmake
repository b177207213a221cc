# The three flavours of the module one source builds (docs/flavors.md), and
# everything the build knows about them: the option that picks one, the
# sources compiled once per flavour (and per array interface), and the
# symbols each module exports.
#
#   linux64  Linux x86-64 (spardyn.mexa64's behaviour)
#   win64    Windows x64  (spardyn.mexw64's)
#   win32    Windows x86  (spardyn.mexw32's: the earlier command set)
set(SPARDYN_FLAVORS linux64 win64 win32)

# The platform's own flavour by default; any flavour can be built anywhere.
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(spardyn_default_flavor win64)
  else()
    set(spardyn_default_flavor win32)
  endif()
else()
  set(spardyn_default_flavor linux64)
endif()
set(SPARDYN_FLAVOR ${spardyn_default_flavor} CACHE STRING
    "Flavour of the module: linux64, win64 or win32")
set_property(CACHE SPARDYN_FLAVOR PROPERTY STRINGS ${SPARDYN_FLAVORS})
if(NOT SPARDYN_FLAVOR IN_LIST SPARDYN_FLAVORS)
  message(FATAL_ERROR "SPARDYN_FLAVOR must be one of ${SPARDYN_FLAVORS}, not '${SPARDYN_FLAVOR}'")
endif()

# --- exports ---------------------------------------------------------------
# What each module exports, and nothing else (the exports test reads the
# dynamic symbol table against these lists).  The Windows x86 module
# exports the interpolation with C++ linkage: MSVC decorates it as
# "?qz_time_LinInterp@@YAXPAN000HHHH00@Z"; an ELF linker cannot hold that
# name ("@@" starts a symbol version there), and the same declaration gets
# the platform's own C++ name.
if(MSVC)
  set(spardyn_interp_cxx_name "?qz_time_LinInterp@@YAXPAN000HHHH00@Z")
else()
  set(spardyn_interp_cxx_name _Z17qz_time_LinInterpPdS_S_S_iiiiS_S_)
endif()
set(SPARDYN_EXPORTS_linux64 mexFunction)
set(SPARDYN_EXPORTS_win64 mexFunction mexfilerequiredapiversion qz_time_LinInterp)
set(SPARDYN_EXPORTS_win32 mexFunction ${spardyn_interp_cxx_name})
# The symbol version of the exports: the Linux host binds mexFunction under
# MEX; a Windows module has no versions.
set(SPARDYN_EXPORT_VERSION_linux64 MEX)
set(SPARDYN_EXPORT_VERSION_win64 "")
set(SPARDYN_EXPORT_VERSION_win32 "")
# The files that define the exports beside mexFunction.
set(SPARDYN_EXPORT_SOURCES_linux64 "")
set(SPARDYN_EXPORT_SOURCES_win64 host/exports_win64.cpp)
set(SPARDYN_EXPORT_SOURCES_win32 host/exports_win32.cpp)

# --- the sources compiled per flavour ---------------------------------------
# They include spardyn/flavor.hpp, which reads SPARDYN_FLAVOR; every other
# object is built once and shared by the flavours' modules.
set(SPARDYN_FLAVOR_CORE_SOURCES src/core/flavor_laws.cpp)   # the law table
set(SPARDYN_FLAVOR_MODULE_SOURCES
  host/entry.cpp                # mexFunction (a module's own object)
  host/host_call.cpp            # how the host is called back
  src/commands/dispatch.cpp     # the command table and the revision
)
# The host accessors, compiled once per array interface.
set(SPARDYN_API_HOST_SOURCES host/mex_host.cpp)

# spardyn_core_<flavor>: the host-free core with the flavour's law table.
function(spardyn_flavor_core flavor)
  if(TARGET spardyn_core_${flavor})
    return()
  endif()
  add_library(spardyn_core_${flavor} OBJECT ${SPARDYN_FLAVOR_CORE_SOURCES})
  target_compile_definitions(spardyn_core_${flavor} PRIVATE SPARDYN_FLAVOR=${flavor})
  target_link_libraries(spardyn_core_${flavor} PUBLIC spardyn_core)
endfunction()

# The compile definition of an array interface, in <var>.
function(spardyn_api_definitions api var)
  if(NOT api MATCHES "^(interleaved|classic)$")
    message(FATAL_ERROR "SPARDYN_ARRAY_API must be interleaved or classic, not '${api}'")
  endif()
  set(defs "")
  if(api STREQUAL "interleaved")
    set(defs MX_HAS_INTERLEAVED_COMPLEX=1)
  endif()
  if(SPARDYN_HOST STREQUAL "matlab")
    list(APPEND defs MATLAB_MEX_FILE MATLAB_DEFAULT_RELEASE=${SPARDYN_MATLAB_RELEASE_${api}})
  endif()
  set(${var} ${defs} PARENT_SCOPE)
endfunction()

# spardyn_host_<api>: the host accessors on one array interface.
function(spardyn_api_host api)
  if(TARGET spardyn_host_${api})
    return()
  endif()
  spardyn_api_definitions(${api} defs)
  add_library(spardyn_host_${api} OBJECT ${SPARDYN_API_HOST_SOURCES})
  target_compile_definitions(spardyn_host_${api} PRIVATE ${defs})
  target_include_directories(spardyn_host_${api} PRIVATE ${SPARDYN_MEX_INCLUDE} host)
  target_link_libraries(spardyn_host_${api} PUBLIC spardyn_core)
  set_target_properties(spardyn_host_${api} PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# spardyn_add_module(<target> <flavor> <interface> <directory>): the module
# of one flavour on one array interface, as <directory>/spardyn<suffix>,
# over the shared commands layer and core.  It exports its flavour's list
# and its interface's marker, nothing else; the names are kept in the target
# property SPARDYN_EXPORTS as the dynamic symbol table shows them (with
# their version), for the exports test.  The host symbols (mx*, mex*) stay
# undefined and bind to the host process at load.
function(spardyn_add_module target flavor api dir)
  spardyn_flavor_core(${flavor})
  spardyn_api_host(${api})
  spardyn_api_definitions(${api} defs)
  add_library(${target} MODULE ${SPARDYN_FLAVOR_MODULE_SOURCES}
                               ${SPARDYN_EXPORT_SOURCES_${flavor}})
  target_compile_definitions(${target} PRIVATE SPARDYN_FLAVOR=${flavor} ${defs})
  target_include_directories(${target} PRIVATE ${SPARDYN_MEX_INCLUDE} host src/commands)
  target_link_libraries(${target} PRIVATE spardyn_commands spardyn_host_${api}
                                          spardyn_core_${flavor})
  set(exports ${SPARDYN_EXPORTS_${flavor}})
  set(marker ${SPARDYN_MARKER_${SPARDYN_HOST}_${api}})
  if(SPARDYN_HOST STREQUAL "matlab")  # not built on this machine
    # MATLAB's version source defines mexfilerequiredapiversion, unless the
    # flavour defines its own (Windows x64).
    if(NOT "mexfilerequiredapiversion" IN_LIST exports)
      set(version_source ${Matlab_ROOT_DIR}/extern/version/cpp_mexapi_version.cpp)
      target_sources(${target} PRIVATE ${version_source})
      set_source_files_properties(${version_source} PROPERTIES COMPILE_OPTIONS -fvisibility=default)
    endif()
    target_link_libraries(${target} PRIVATE ${Matlab_MEX_LIBRARY} ${Matlab_MX_LIBRARY})
  endif()
  if(marker AND NOT marker IN_LIST exports)
    list(APPEND exports ${marker})
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME spardyn PREFIX "" SUFFIX ${SPARDYN_MEX_SUFFIX}
    LIBRARY_OUTPUT_DIRECTORY ${dir}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

  set(version ${SPARDYN_EXPORT_VERSION_${flavor}})
  if(NOT WIN32)  # a Windows module exports what its sources mark
    list(JOIN exports "; " globals)
    set(map ${CMAKE_BINARY_DIR}/${target}.map)
    file(CONFIGURE OUTPUT ${map} CONTENT "${version} {\n  global: ${globals};\n  local: *;\n};\n")
    target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,-Bsymbolic)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
  if(version)
    list(TRANSFORM exports APPEND "@@${version}")
  endif()
  set_target_properties(${target} PROPERTIES SPARDYN_EXPORTS "${exports}")
  # The module's help text: a comment-only spardyn.m beside the binary,
  # which "help spardyn" prints while calls still go to the MEX file.
  configure_file(${CMAKE_SOURCE_DIR}/host/spardyn.m ${dir}/spardyn.m COPYONLY)
endfunction()

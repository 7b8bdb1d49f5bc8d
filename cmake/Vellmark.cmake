# Small helpers shared by the folders' CMakeLists.

# vm_ship(target): a program we ship; it lands in VM_ARTIFACT_DIR.  The Windows
# builds are linked stripped, so the image ends with its last section.
function(vm_ship target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VM_ARTIFACT_DIR})
  if(VM_WINDOWS)
    target_link_options(${target} PRIVATE -s)
  endif()
endfunction()

# vm_add_gtest(name SOURCES ... LIBS ...): one GoogleTest program and its CTest entry,
# linked with the test twin (vm_library) of each library that has one.
# Natively it runs directly; for Windows CTest runs it through scripts/wine-run.
function(vm_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  vm_test_build(libs ${ARG_LIBS})
  target_link_libraries(${name} PRIVATE ${libs} vm_gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
  target_compile_definitions(${name} PRIVATE VM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# vm_library(NAME [TWIN] SOURCES ... [LIBS ...] [INCLUDES ...]): a static
# library of the current folder, which is its public include folder (with
# INCLUDES), linked publicly with LIBS.  With VM_TESTS it also gets a test twin, NAME_test: the same sources
# built with the test-only hooks (VM_TEST_HOOKS), linked with the twins of
# its libraries where they have one, so that a test program never holds both
# builds of a unit.  TWIN asks for the twin of a library whose own sources
# have hooks; a library that links a library with a twin gets one as well.
# A twin is built only when a test or a test program links it.
function(vm_library name)
  cmake_parse_arguments(ARG "TWIN" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${ARG_INCLUDES})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  if(NOT VM_TESTS)
    return()
  endif()
  set(twin ${ARG_TWIN})
  set(twin_libs)
  foreach(lib IN LISTS ARG_LIBS)
    if(TARGET ${lib}_test)
      list(APPEND twin_libs ${lib}_test)
      set(twin ON)
    else()
      list(APPEND twin_libs ${lib})
    endif()
  endforeach()
  if(twin)
    add_library(${name}_test STATIC EXCLUDE_FROM_ALL ${ARG_SOURCES})
    target_include_directories(${name}_test PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${ARG_INCLUDES})
    target_compile_definitions(${name}_test PUBLIC VM_TEST_HOOKS=1)
    target_link_libraries(${name}_test PUBLIC ${twin_libs})
  endif()
endfunction()

# vm_test_build(OUT LIBS...): the libraries a test program links, each
# replaced by its test twin where it has one.
function(vm_test_build out)
  set(result)
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib}_test)
      list(APPEND result ${lib}_test)
    else()
      list(APPEND result ${lib})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

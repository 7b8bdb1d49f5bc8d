# Small helpers shared by the folders' CMakeLists.

# vm_ship(target): a program we ship; it lands in VM_ARTIFACT_DIR.  The Windows
# builds are linked stripped, so the image ends with its last section.
function(vm_ship target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VM_ARTIFACT_DIR})
  if(VM_WINDOWS)
    target_link_options(${target} PRIVATE -s)
  endif()
endfunction()

# vm_add_gtest(name SOURCES ... LIBS ...): one GoogleTest program and its CTest entry.
# Natively it runs directly; for Windows CTest runs it through scripts/wine-run.
function(vm_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vm_gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
  target_compile_definitions(${name} PRIVATE VM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# The sources of vm_base, for the units' CMakeLists and the fuzz build.
set(vm_base_sources ${CMAKE_CURRENT_LIST_DIR}/Windows1252.cpp ${CMAKE_CURRENT_LIST_DIR}/Sha256.cpp)

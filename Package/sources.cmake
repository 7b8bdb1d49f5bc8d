# The archive reader's and writer's sources, for Package/CMakeLists.txt and the fuzz build.
set(vm_package_sources ${CMAKE_CURRENT_LIST_DIR}/Package.cpp ${CMAKE_CURRENT_LIST_DIR}/FileView.cpp)
set(vm_package_writer_sources ${CMAKE_CURRENT_LIST_DIR}/PackageWriter.cpp)

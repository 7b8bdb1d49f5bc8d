# The archive reader's and writer's sources, for Package/CMakeLists.txt and the fuzz build.
set(vm_package_sources ${CMAKE_CURRENT_LIST_DIR}/Package.cpp ${CMAKE_CURRENT_LIST_DIR}/FileView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BlockInflater.cpp ${CMAKE_CURRENT_LIST_DIR}/EntryName.cpp)
# The signing fields and checksum of executable images: for the tool and the tests.
set(vm_pe_image_sources ${CMAKE_CURRENT_LIST_DIR}/PeImage.cpp)
set(vm_package_writer_sources ${CMAKE_CURRENT_LIST_DIR}/PackageWriter.cpp)
# The writer's encoder, one of two behind StreamCompressor.h: libdeflate
# natively, zlib in the Windows builds.
set(vm_compressor_deflate_sources ${CMAKE_CURRENT_LIST_DIR}/StreamCompressorDeflate.cpp)
set(vm_compressor_zlib_sources ${CMAKE_CURRENT_LIST_DIR}/StreamCompressorZlib.cpp)

# The install log's sources, for Log/CMakeLists.txt and the fuzz build.  The
# file layer's system half is chosen by the including build.
set(vm_log_sources
  ${CMAKE_CURRENT_LIST_DIR}/LogMemory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogIndex.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogLoad.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogSave.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Journal.cpp)
set(vm_log_posix_sources ${CMAKE_CURRENT_LIST_DIR}/LogFilePosix.cpp)
set(vm_log_win32_sources ${CMAKE_CURRENT_LIST_DIR}/LogFileWin32.cpp)

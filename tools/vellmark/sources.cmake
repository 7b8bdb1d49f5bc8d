# The sources of vm_tool (the tool's commands), for tools/vellmark/CMakeLists.txt.
set(vm_tool_sources
  ${CMAKE_CURRENT_LIST_DIR}/ToolOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PackCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ListCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExtractCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExtractPlan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EntryName.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PackageMessages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ListingPath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutputFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CheckCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogCommand.cpp)

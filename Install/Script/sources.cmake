# The script engine's sources, for Install/Script/CMakeLists.txt and the fuzz build.
set(vm_script_sources
  ${CMAKE_CURRENT_LIST_DIR}/ScriptLexer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScriptSlots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScriptDeclare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScriptEvaluate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScriptCall.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DryRunBuiltins.cpp)

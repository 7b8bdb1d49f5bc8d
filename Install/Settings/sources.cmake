set(vm_settings_sources ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp)

# Shared part of the two mingw-w64 toolchain files; VM_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER   ${VM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VM_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Everything is linked statically: the programs need no DLL besides the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows test programs run under wine64; scripts/wine-run prepares the environment.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)

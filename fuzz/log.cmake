# LoadInstallLog's reader on arbitrary bytes, through a memory file.
vm_fuzzer(log_fuzzer log_fuzzer.cpp
  ${VM_ROOT}/Log/LogMemory.cpp ${VM_ROOT}/Log/LogIndex.cpp ${VM_ROOT}/Log/LogList.cpp
  ${VM_ROOT}/Log/LogFile.cpp ${VM_ROOT}/Log/LogLine.cpp ${VM_ROOT}/Log/LogLoad.cpp
  ${VM_ROOT}/Log/LogSave.cpp ${VM_ROOT}/Log/LogFilePosix.cpp)

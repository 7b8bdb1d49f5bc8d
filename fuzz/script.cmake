# The script engine fuzzer: prepares, declares and runs arbitrary scripts with
# the dry-run built-ins.  VM_SCRIPT_FUZZING gives the lexer a token budget, so
# that scripts which loop forever (as they may) end.
vm_fuzzer(script_fuzzer script_fuzzer.cpp
  ${VM_ROOT}/Install/Script/ScriptLexer.cpp
  ${VM_ROOT}/Install/Script/ScriptSlots.cpp
  ${VM_ROOT}/Install/Script/ScriptDeclare.cpp
  ${VM_ROOT}/Install/Script/ScriptEvaluate.cpp
  ${VM_ROOT}/Install/Script/ScriptCall.cpp
  ${VM_ROOT}/Install/Script/DryRunBuiltins.cpp
  ${VM_ROOT}/Install/Settings/Settings.cpp)
target_compile_definitions(script_fuzzer PRIVATE VM_SCRIPT_FUZZING=1)

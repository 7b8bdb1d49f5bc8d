// The one list of the built-in functions.  Every other list is made from it:
// the BuiltinIndex enum and the signatures the engine checks calls against
// (BuiltinTable.h), the setup program's handler declarations and its table
// (SetupBuiltins.h), and the dry-run table of `vellmark check --run`.
//
// One row per built-in, in table order:
//   VM_BUILTIN(index, name, handler, parameterCount, parameterKinds)
// `name` is the script's name (small letters, as the script folds it),
// `handler` the setup program's function, and `parameterKinds` one letter per
// parameter: 't' a text, 'i' an integer (the dry run prints a text argument
// quoted and an integer as a number).  The count stands beside the kinds so
// that a row reads whole; a static_assert keeps the two in step.
#ifndef VELLMARK_BUILTIN_LIST_H
#define VELLMARK_BUILTIN_LIST_H

#define VM_BUILTINS(VM_BUILTIN)                                                                 \
    VM_BUILTIN(BuiltinIswin95, "iswin95", IsWin95Builtin, 0, "")                                \
    VM_BUILTIN(BuiltinIswin98, "iswin98", IsWin98Builtin, 0, "")                                \
    VM_BUILTIN(BuiltinIswinme, "iswinme", IsWinMeBuiltin, 0, "")                                \
    VM_BUILTIN(BuiltinIswinnt, "iswinnt", IsWinNTBuiltin, 0, "")                                \
    VM_BUILTIN(BuiltinIswin2000, "iswin2000", IsWin2000Builtin, 0, "")                          \
    VM_BUILTIN(BuiltinIswinfamilynt, "iswinfamilynt", IsWinFamilyNTBuiltin, 0, "")              \
    VM_BUILTIN(BuiltinIswinfamily9x, "iswinfamily9x", IsWinFamily9xBuiltin, 0, "")              \
    VM_BUILTIN(BuiltinSetreboot, "setreboot", SetRebootBuiltin, 1, "i")                         \
    VM_BUILTIN(BuiltinSetupdate, "setupdate", SetUpdateBuiltin, 1, "i")                         \
    VM_BUILTIN(BuiltinSetnouninstall, "setnouninstall", SetNoUninstallBuiltin, 1, "i")          \
    VM_BUILTIN(BuiltinLogon, "logon", LogOnBuiltin, 0, "")                                      \
    VM_BUILTIN(BuiltinLogoff, "logoff", LogOffBuiltin, 0, "")                                   \
    /* path */                                                                                  \
    VM_BUILTIN(BuiltinFileinuse, "fileinuse", FileInUseBuiltin, 1, "t")                         \
    /* company, product */                                                                      \
    VM_BUILTIN(BuiltinIsappinstalled, "isappinstalled", IsAppInstalledBuiltin, 2, "tt")         \
    /* window class, window title */                                                            \
    VM_BUILTIN(BuiltinIsapprunning, "isapprunning", IsAppRunningBuiltin, 2, "tt")               \
    VM_BUILTIN(BuiltinCloseapp, "closeapp", CloseAppBuiltin, 2, "tt")                           \
    /* package entry, installed path */                                                         \
    VM_BUILTIN(BuiltinVersion, "version", VersionBuiltin, 2, "tt")                              \
    VM_BUILTIN(BuiltinMsgboxok, "msgboxok", MsgBoxOkBuiltin, 1, "t")                            \
    VM_BUILTIN(BuiltinMsgboxyesno, "msgboxyesno", MsgBoxYesNoBuiltin, 1, "t")                   \
    /* package entry, destination */                                                            \
    VM_BUILTIN(BuiltinCopy, "copy", CopyBuiltin, 2, "tt")                                       \
    /* package entry, destination, shared name */                                               \
    VM_BUILTIN(BuiltinCopyshared, "copyshared", CopySharedBuiltin, 3, "ttt")                    \
    VM_BUILTIN(BuiltinIscopyerror, "iscopyerror", IsCopyErrorBuiltin, 0, "")                    \
    VM_BUILTIN(BuiltinMakedir, "makedir", MakeDirBuiltin, 1, "t")                               \
    /* package entry, destination, service name */                                              \
    VM_BUILTIN(BuiltinInstalldriver, "installdriver", InstallDriverBuiltin, 3, "ttt")           \
    /* name, target, description, arguments */                                                  \
    VM_BUILTIN(BuiltinShortcut, "shortcut", ShortcutBuiltin, 4, "tttt")                         \
    VM_BUILTIN(BuiltinShortcutc, "shortcutc", ShortcutCBuiltin, 4, "tttt")                      \
    /* name, address */                                                                         \
    VM_BUILTIN(BuiltinShortcutwww, "shortcutwww", ShortcutWwwBuiltin, 2, "tt")                  \
    VM_BUILTIN(BuiltinPrefskey, "prefskey", PrefsKeyBuiltin, 1, "t")                            \
    VM_BUILTIN(BuiltinSetprogsteps, "setprogsteps", SetProgStepsBuiltin, 1, "i")                \
    VM_BUILTIN(BuiltinProgstep, "progstep", ProgStepBuiltin, 0, "")                            \
    /* root, key, name, text or number */                                                       \
    VM_BUILTIN(BuiltinRegsetstring, "regsetstring", RegSetStringBuiltin, 4, "tttt")             \
    VM_BUILTIN(BuiltinRegsetdword, "regsetdword", RegSetDwordBuiltin, 4, "ttti")                \
    /* extension, progid, description, icon, program */                                         \
    VM_BUILTIN(BuiltinFileassoc, "fileassoc", FileAssocBuiltin, 5, "ttttt")                     \
    /* folder */                                                                                \
    VM_BUILTIN(BuiltinAddpath, "addpath", AddPathBuiltin, 1, "t")                               \
    /* name, target, description, arguments */                                                  \
    VM_BUILTIN(BuiltinShortcutdesk, "shortcutdesk", ShortcutDeskBuiltin, 4, "tttt")             \
    /* program, arguments, wait */                                                              \
    VM_BUILTIN(BuiltinRunprogram, "runprogram", RunProgramBuiltin, 3, "tti")                    \
    /* package folder, destination folder */                                                    \
    VM_BUILTIN(BuiltinCopyfolder, "copyfolder", CopyFolderBuiltin, 2, "tt")

#endif

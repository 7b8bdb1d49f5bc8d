// The setup program's command line.  Without /S the setup ignores its
// command line, as it always has, and shows the wizard.  With /S it installs
// unattended: no wizard and no message box, the licence accepted (whoever
// deploys with /S has accepted it), the exit code telling how it went.
//
//   Setup.exe /S [/LOG=FILE] [/D=FOLDER]
//
// Switches are matched without regard to case.  Words are separated by
// blanks; double quotes group blanks into a word and are removed
// ("/LOG=C:\My Logs\setup.txt").  /D= comes last and takes the rest of the
// line as it stands, blanks included and without quotes, as administrators
// know it from other installers: /D=C:\Program Files\Acme Tools.  The whole
// switch may come in quotes instead, as programs that start the setup with
// an argument list quote one with a blank: "/D=C:\Program Files\Acme Tools".
//
// Portable: no Windows calls, so the rules are tested natively as well.
#ifndef VELLMARK_COMMANDLINE_H
#define VELLMARK_COMMANDLINE_H

#include <cstddef>

// The buffers a path of the command line goes to (InstallDir holds 512 bytes).
constexpr size_t CommandLinePathSize = 512;
// The most characters a destination folder has: the Destination folder
// page's box takes no more, and /D= is held to the same.
constexpr size_t DestinationLengthLimit = 260;

// What is wrong with an unattended command line.  Without /S nothing is.
enum CommandLineStatus {
    CommandLineOk = 0,
    CommandLineUnknownSwitch = 1,   // a word that is none of /S, /LOG=, /D=
    CommandLineBadFolder = 2,       // /D= empty, with a quote in the folder or a
                                    //   slash, not a full path (X:\... or
                                    //   \\server\...), longer than
                                    //   DestinationLengthLimit, or, quoted as
                                    //   a whole, followed by another word
    CommandLineBadTranscript = 3,   // /LOG= empty, given twice, or too long
};

struct SetupCommandLine {
    bool unattended;                          // /S was given
    CommandLineStatus status;                 // CommandLineOk when not unattended
    char installDir[CommandLinePathSize];     // /D=, empty when not given
    char transcriptPath[CommandLinePathSize]; // /LOG=, empty when not given
    char refused[CommandLinePathSize];        // the word refused (cut to fit: it is only reported)
};

// Reads the command line that Windows passes after the program's name (null
// counts as empty) into `*result`.  Every field is set.  /D= keeps its folder
// without the backslashes at its end (but for a drive's root, "C:\").  When
// an unattended command line has several faults, the first one is reported;
// a /LOG= after it is still taken, so that the fault can be written there.
void ParseSetupCommandLine(const char* line, SetupCommandLine* result);

// The sentence that explains a status other than CommandLineOk, or null.
const char* CommandLineMessage(CommandLineStatus status);

// Whether `line` begins with the word /S (either case) followed by a blank or
// its end; `*rest` then points past the blanks after it.  The uninstaller's
// unattended form is "/S LOGPATH".
bool TakeUnattendedSwitch(const char* line, const char** rest);

#endif

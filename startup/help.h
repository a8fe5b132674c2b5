// The help text offered at the file-name prompt, and on the command line.
#ifndef KESTRUNE_STARTUP_HELP_H_
#define KESTRUNE_STARTUP_HELP_H_

#include <cstdio>

void Help();

// The lines that say how the command line goes.
void UsageLine(FILE* to);

// What --help and -h print: a usage line, the help text, and the words of
// the menu in a short list.
void CommandLineHelp();

#endif  // KESTRUNE_STARTUP_HELP_H_

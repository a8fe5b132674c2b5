// The help text offered at the file-name prompt.
#ifndef KESTRUNE_STARTUP_HELP_H_
#define KESTRUNE_STARTUP_HELP_H_

void Help();

#endif  // KESTRUNE_STARTUP_HELP_H_

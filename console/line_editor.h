// The line editor, for a person typing at a terminal: editing keys, recall
// of the lines typed earlier in the run, and Tab completion of file names
// at the name prompts.
#ifndef KESTRUNE_CONSOLE_LINE_EDITOR_H_
#define KESTRUNE_CONSOLE_LINE_EDITOR_H_

#include <string>

// Starts the editor for a person typing at a terminal, before anything can
// be typed: libedit throws away what the terminal holds as it starts.
void StartLineEditor();

// Reads one line; Tab completes file names when `names`. Returns false at
// the end of input (Ctrl-D on an empty line), and when Ctrl-C cut the line
// short.
bool EditLine(std::string& line, bool names);

// While a selection plays, what is typed is not shown in the clock line; it
// is read when the dialogue resumes, and shows as the start of the next
// line. The terminal is put back at the end of the run too.
void HideTyping();
void ShowTyping();

#endif  // KESTRUNE_CONSOLE_LINE_EDITOR_H_

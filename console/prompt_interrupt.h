// Ctrl-C at the prompts: on a terminal it drops what was typed and the menu
// comes again; a second Ctrl-C with nothing typed between, or one in a pipe,
// ends the program as usual.
#ifndef KESTRUNE_CONSOLE_PROMPT_INTERRUPT_H_
#define KESTRUNE_CONSOLE_PROMPT_INTERRUPT_H_

// From here on, SIGINT at a prompt keeps the session when standard input is
// a terminal.
void KeepSessionOnInterrupt();

// Whether Ctrl-C at a prompt keeps the session: standard input is a
// terminal.
bool SessionKept();

// SIGINT does what it does at the prompts again, after something that
// caught it for itself (a play).
void AnswerInterruptsAtPrompts();

// Before a read from standard input that may wait: on a terminal, waits for
// input and returns false when SIGINT came first, also just before the wait
// (SIGINT is held back at the prompts but for this wait).
bool WaitForInput();

// Whether SIGINT came at a prompt since the last call (a word read in
// between counts as typed: the next one is a first again).
bool TakeInterruptAtPrompt();
void WordTyped();

#endif  // KESTRUNE_CONSOLE_PROMPT_INTERRUPT_H_

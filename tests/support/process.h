// Running the kestrune binary as the user would: arguments, a console on a
// pipe, and everything it prints, with its exit status.
#ifndef KESTRUNE_TESTS_SUPPORT_PROCESS_H_
#define KESTRUNE_TESTS_SUPPORT_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

class Session {
 public:
  // Starts `program` with `args`; extra environment entries as NAME=VALUE.
  // With `terminal`, its console input is a pseudo-terminal, not a pipe;
  // with `terminalOutput` too, its standard output is the same terminal (and
  // what it prints reads with "\r\n" for each line break), as when a person
  // runs it. The terminal does not echo what is sent unless `echo`.
  Session(const std::string& program, const std::vector<std::string>& args,
          const std::vector<std::string>& environment = {}, bool terminal = false,
          bool terminalOutput = false, bool echo = false);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Types `text` on the console (reading output meanwhile, so neither
  // side blocks).
  void Send(const std::string& text);
  // Reads output until `text` appears `times` times in standard output in
  // all; false when the program ended or `seconds` passed first.
  bool WaitFor(const std::string& text, int times = 1, double seconds = 20);
  // Ends the console input, reads everything up to the end and returns the
  // exit status (128 + signal when killed; -1 when it outlived `seconds`).
  int Finish(double seconds = 60);

  pid_t pid() const { return pid_; }
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  // Waits up to `millis` for output and reads what arrived; false at the end.
  bool Pump(int millis);

  pid_t pid_ = -1;
  int in_ = -1, outFd_ = -1, errFd_ = -1;
  std::string out_, err_;
};

struct Result {
  int status;
  std::string out;
  std::string err;
};

// Runs `program` to its end with `input` as its whole console input.
Result RunProgram(const std::string& program, const std::vector<std::string>& args,
           const std::string& input = "",
           const std::vector<std::string>& environment = {});

// What a program printed on a terminal, with its line breaks as printed
// ("\r\n" read as "\n").
std::string AsPrinted(std::string terminalOutput);

// Counts the non-overlapping occurrences of `needle` in `haystack`.
int Count(const std::string& haystack, const std::string& needle);

#endif  // KESTRUNE_TESTS_SUPPORT_PROCESS_H_

#include "tests/support/process.h"

#include "tests/support/wave_files.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

// The PulseAudio client library, which ALSA's configuration loads, makes a
// runtime folder under /tmp for a program that names none: the programs the
// tests start share one of their own, removed when the test ends.
struct PrivateRuntime {
  TempDir dir;
  PrivateRuntime() { setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1); }
} privateRuntime;

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Session::Session(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment, bool terminal,
                 bool terminalOutput, bool echo) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    abort();
  if (terminal) {
    close(in[0]);
    close(in[1]);
    in[1] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (in[1] < 0 || grantpt(in[1]) != 0 || unlockpt(in[1]) != 0) abort();
    in[0] = open(ptsname(in[1]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios quiet;
    tcgetattr(in[0], &quiet);
    if (!echo) quiet.c_lflag &= ~ECHO;
    tcsetattr(in[0], TCSANOW, &quiet);
    if (terminalOutput) {
      close(out[0]);
      close(out[1]);
      out[0] = fcntl(in[1], F_DUPFD_CLOEXEC, 0);
      out[1] = fcntl(in[0], F_DUPFD_CLOEXEC, 0);
    }
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (const std::string& entry : environment) putenv(strdup(entry.c_str()));
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  outFd_ = out[0];
  errFd_ = err[0];
}

Session::~Session() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {in_, outFd_, errFd_})
    if (fd >= 0) close(fd);
}

bool Session::Pump(int millis) {
  pollfd set[2];
  nfds_t n = 0;
  for (int fd : {outFd_, errFd_})
    if (fd >= 0) set[n++] = {fd, POLLIN, 0};
  if (n == 0) return false;
  if (poll(set, n, millis) <= 0) return true;
  for (nfds_t i = 0; i < n; ++i) {
    if (set[i].revents == 0) continue;
    const bool isOut = set[i].fd == outFd_;
    char buffer[65536];
    ssize_t got = read(set[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      (isOut ? out_ : err_).append(buffer, static_cast<size_t>(got));
    } else {
      close(set[i].fd);
      (isOut ? outFd_ : errFd_) = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

void Session::Send(const std::string& text) {
  size_t sent = 0;
  while (sent < text.size() && in_ >= 0) {
    pollfd f{in_, POLLOUT, 0};
    if (poll(&f, 1, 0) > 0) {
      ssize_t n = write(in_, text.data() + sent, text.size() - sent);
      if (n < 0) break;  // the program is gone
      sent += static_cast<size_t>(n);
    } else if (!Pump(10)) {
      break;
    }
  }
}

bool Session::WaitFor(const std::string& text, int times, double seconds) {
  double deadline = Now() + seconds;
  while (Count(out_, text) < times) {
    if (Now() > deadline || !Pump(20)) return Count(out_, text) >= times;
  }
  return true;
}

int Session::Finish(double seconds) {
  if (in_ >= 0) {
    close(in_);
    in_ = -1;
  }
  double deadline = Now() + seconds;
  while (Now() < deadline && Pump(50)) {
  }
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return -1;
    }
    usleep(10000);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Result RunProgram(const std::string& program, const std::vector<std::string>& args,
           const std::string& input, const std::vector<std::string>& environment) {
  Session session(program, args, environment);
  session.Send(input);
  int status = session.Finish();
  return {status, session.out(), session.err()};
}

std::string AsPrinted(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

int Count(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size()))
    ++n;
  return n;
}

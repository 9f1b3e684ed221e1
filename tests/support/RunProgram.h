#pragma once
// Runs a program with arguments and no display, and collects its exit status and output.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

struct ProgramRun {
  int status = -1;  // exit status, 128 + signal when killed by one
  bool hung = false;
  std::string out;
  std::string err;
};

inline std::string SlurpFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct RunOptions {
  std::vector<std::string> env;      // "NAME=value" added (DISPLAY and friends are removed)
  std::vector<std::string> prefix;   // a command the program runs under, e.g. setpriv ... --
  std::string workDir;
  int boundSeconds = 0;              // killed after this long (0: waits for ever)
};

inline ProgramRun RunProgram(const std::string& exe, const std::vector<std::string>& args,
                             const RunOptions& options) {
  char outName[] = "/tmp/mirelcon-run-outXXXXXX";
  char errName[] = "/tmp/mirelcon-run-errXXXXXX";
  const int outFd = mkstemp(outName);
  const int errFd = mkstemp(errName);
  std::vector<std::string> argv = options.prefix;
  argv.push_back(exe);
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    for (const std::string& e : options.env) putenv(const_cast<char*>(e.c_str()));
    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
    std::vector<char*> v;
    for (std::string& a : argv) v.push_back(a.data());
    v.push_back(nullptr);
    execv(v[0], v.data());
    _exit(127);
  }
  ProgramRun run;
  int status = 0;
  if (options.boundSeconds <= 0) {
    waitpid(pid, &status, 0);
  } else {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.boundSeconds);
    while (waitpid(pid, &status, WNOHANG) != pid) {
      if (std::chrono::steady_clock::now() > deadline) {
        run.hung = true;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close(outFd);
  close(errFd);
  run.out = SlurpFile(outName);
  run.err = SlurpFile(errName);
  unlink(outName);
  unlink(errName);
  return run;
}

inline ProgramRun RunProgram(const std::string& exe, const std::vector<std::string>& args,
                             const std::vector<std::string>& extraEnv = {}, const std::string& workDir = "") {
  return RunProgram(exe, args, RunOptions{extraEnv, {}, workDir, 0});
}

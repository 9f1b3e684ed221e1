#pragma once
// Runs a program with arguments and no display, and collects its exit status and output.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

struct ProgramRun {
  int status = -1;  // exit status, 128 + signal when killed by one
  bool hung = false;
  std::string out;
  std::string err;
};

struct RunOptions {
  RunOptions(std::vector<std::string> e = {}, std::vector<std::string> p = {}) : env(std::move(e)), prefix(std::move(p)) {}
  std::vector<std::string> env;     // "NAME=value" added (DISPLAY and friends are removed)
  std::vector<std::string> prefix;  // a command the program runs under, e.g. setpriv ... --
  int boundSeconds = 120;           // killed after this long
};

inline ProgramRun RunProgram(const std::string& exe, const std::vector<std::string>& args, const RunOptions& options = {}) {
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
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
    for (const std::string& e : options.env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> v;
    for (std::string& a : argv) v.push_back(a.data());
    v.push_back(nullptr);
    execv(v[0], v.data());
    _exit(127);
  }
  ProgramRun run;
  int status = 0;
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
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close(outFd);
  close(errFd);
  run.out = TempDir::Read(outName);
  run.err = TempDir::Read(errName);
  std::filesystem::remove(outName);
  std::filesystem::remove(errName);
  return run;
}

#pragma once
// Runs a program with arguments and no display, and collects its exit status and output.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string SlurpFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// extraEnv: "NAME=value" entries added to the environment (DISPLAY and friends are removed).
inline ProgramRun RunProgram(const std::string& exe, const std::vector<std::string>& args,
                             const std::vector<std::string>& extraEnv = {}, const std::string& workDir = "") {
  char outName[] = "/tmp/mirelcon-run-outXXXXXX";
  char errName[] = "/tmp/mirelcon-run-errXXXXXX";
  const int outFd = mkstemp(outName);
  const int errFd = mkstemp(errName);
  ProgramRun run;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outFd, 1);
    dup2(errFd, 2);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    for (const std::string& e : extraEnv) putenv(const_cast<char*>(e.c_str()));
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close(outFd);
  close(errFd);
  run.out = SlurpFile(outName);
  run.err = SlurpFile(errName);
  unlink(outName);
  unlink(errName);
  return run;
}

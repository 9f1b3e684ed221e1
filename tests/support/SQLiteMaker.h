#pragma once
// Test databases made through the SQLite library itself, loaded at run time the way the program
// loads it (the tests link no SQLite).
#include <dlfcn.h>
#include <sqlite3.h>

#include <string>
#include <string_view>

class SQLiteMaker {
public:
  static SQLiteMaker& Instance() {
    static SQLiteMaker maker;
    return maker;
  }

  bool Ready() const { return open_ && exec_ && close_ && free_; }

  // Runs the script in a new or existing database file; "" when it ran, else SQLite's message.
  std::string Make(const std::string& path, const std::string& script) {
    sqlite3* db = nullptr;
    if (open_(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
      close_(db);
      return "cannot open " + path;
    }
    char* error = nullptr;
    std::string result;
    if (exec_(db, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) result = error ? error : "error";
    if (error) free_(error);
    close_(db);
    return result;
  }

  // text as an SQL string literal.
  static std::string Quote(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
      if (c == '\'') out += '\'';
      out += c;
    }
    return out + "'";
  }

private:
  SQLiteMaker() {
    handle_ = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    open_ = reinterpret_cast<decltype(open_)>(::dlsym(handle_, "sqlite3_open_v2"));
    exec_ = reinterpret_cast<decltype(exec_)>(::dlsym(handle_, "sqlite3_exec"));
    close_ = reinterpret_cast<decltype(close_)>(::dlsym(handle_, "sqlite3_close"));
    free_ = reinterpret_cast<decltype(free_)>(::dlsym(handle_, "sqlite3_free"));
  }

  void* handle_ = nullptr;
  decltype(&::sqlite3_open_v2) open_ = nullptr;
  decltype(&::sqlite3_exec) exec_ = nullptr;
  decltype(&::sqlite3_close) close_ = nullptr;
  decltype(&::sqlite3_free) free_ = nullptr;
};

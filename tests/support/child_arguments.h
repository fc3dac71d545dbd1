// What execve needs for a child, made before fork (after it only async-signal-safe calls): the
// arguments and our environment with the caller's variables laid over it.
#pragma once

#include <unistd.h>

#include <map>
#include <string>
#include <vector>

extern char** environ;

class ChildArguments {
 public:
  ChildArguments(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment)
      : argv_(argv) {
    for (char** variable = environ; *variable; ++variable) {
      const std::string entry = *variable;
      if (!environment.contains(entry.substr(0, entry.find('=')))) variables_.push_back(entry);
    }
    for (const auto& [name, value] : environment) variables_.push_back(name + "=" + value);
    for (auto& arg : argv_) args_.push_back(arg.data());
    args_.push_back(nullptr);
    for (auto& variable : variables_) envp_.push_back(variable.data());
    envp_.push_back(nullptr);
  }
  ChildArguments(const ChildArguments&) = delete;
  ChildArguments& operator=(const ChildArguments&) = delete;

  // Only returns when the program could not be run.
  void exec() const { execve(args_[0], args_.data(), envp_.data()); }

 private:
  std::vector<std::string> argv_, variables_;
  std::vector<char*> args_, envp_;
};

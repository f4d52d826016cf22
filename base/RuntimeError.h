// The runtime's file and stream failures, modelled on the exception family the product's
// messages come from ("Stream read error", "Cannot open file ..."). Lower layers throw them;
// every operation catches them at its boundary and turns them into its error text.
#pragma once

#include <exception>
#include <string>

namespace kv {

class RuntimeError : public std::exception {
 public:
  RuntimeError(std::string class_name, std::string message, int help_context = 0);

  const std::string& ClassName() const { return class_name_; }
  const std::string& Message() const { return message_; }
  int HelpContext() const { return help_context_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string class_name_;
  std::string message_;
  int help_context_;
};

// Messages carry the file name between double quotes, then the system's reason when known.
RuntimeError FileOpenError(const std::string& path, const std::string& reason);
RuntimeError FileCreateError(const std::string& path, const std::string& reason);
RuntimeError StreamReadError();
RuntimeError StreamWriteError();
RuntimeError OutOfMemoryError();

// "EXCEPTION " + class name + " (" + help context + ") " + message.
std::string DescribeRuntimeError(const RuntimeError& error);

}  // namespace kv

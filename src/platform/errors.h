// Error types that carry the exact texts the user sees in the general error report.
#pragma once

#include <stdexcept>
#include <string>

// Base of every error the program raises on purpose; what() is the message shown.
class AppError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be created or replaced: "Cannot create file "<path>". <reason>".
class FileCreateError : public AppError {
 public:
  FileCreateError(const std::string& path, const std::string& reason)
      : AppError("Cannot create file \"" + path + "\". " + reason) {}
};

// An existing file could not be opened: "Cannot open file "<path>". <reason>".
class FileOpenError : public AppError {
 public:
  FileOpenError(const std::string& path, const std::string& reason)
      : AppError("Cannot open file \"" + path + "\". " + reason) {}
};

// A file could not be written after it was opened (the log, for example).
class FileWriteError : public AppError {
 public:
  FileWriteError(const std::string& path, const std::string& reason)
      : AppError("Cannot write file \"" + path + "\". " + reason) {}
};

// A text that should hold a number does not.
class ConversionError : public AppError {
 public:
  using AppError::AppError;
};

// A broken promise of a caller (a missing argument).
class AssertionError : public AppError {
 public:
  using AppError::AppError;
};

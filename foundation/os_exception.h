// The exception that every OS wrapper (OS::Thread, OS::Mutex and the free
// functions over kernel handles) throws on failure. Nothing is logged where
// it is thrown; the catcher decides what to report.
#pragma once

#include <exception>
#include <string>

class OSException : public std::exception {
 public:
  // The free functions throw with an empty message; the classes add a fixed
  // text such as "Failed to create the mutex".
  explicit OSException(std::string message = std::string());
  ~OSException() override;

  // Refreshes the what text from the message and returns it. The pointer
  // stays valid until the next what() call or the end of the object.
  const char* what() const noexcept override;

  // A copy of the message.
  virtual std::string Message() const;

 private:
  std::string m_message;
  mutable std::string m_whattext;
};

// Status object returned by session operations: a signed 32-bit code and a
// shared, immutable detail text. Cheap to copy.
#ifndef PLATFORM_CZUERROR_H_
#define PLATFORM_CZUERROR_H_

#include <memory>
#include <string>

class CZuError {
 public:
  CZuError() = default;  // code 0: no error
  CZuError(int code, std::string text);

  int code() const { return code_; }
  // True when the code is negative.
  bool IsError() const { return code_ < 0; }
  // The detail text, or a generic text naming the code when none was given.
  std::string AsString() const;

 private:
  int code_ = 0;
  std::shared_ptr<const std::string> detail_;
};

#endif  // PLATFORM_CZUERROR_H_

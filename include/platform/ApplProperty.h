// One property of the platform's property library: name, numeric type,
// value and a trailing number that travels with it unchanged.
#ifndef PLATFORM_APPLPROPERTY_H_
#define PLATFORM_APPLPROPERTY_H_

#include <string>

class ApplProperty {
 public:
  ApplProperty(std::string name, int type, std::string value, int trailing);
  virtual ~ApplProperty();

  const char* getName() const { return name_.c_str(); }
  int getType() const { return type_; }
  const char* getValue() const { return value_.c_str(); }
  int getTrailing() const { return trailing_; }
  void setValue(const char* value);

 private:
  std::string name_;
  int type_;
  std::string value_;
  int trailing_;
};

#endif  // PLATFORM_APPLPROPERTY_H_

// Factory of the property library.
#ifndef PLATFORM_PROPERTYBUILDER_H_
#define PLATFORM_PROPERTYBUILDER_H_

#include <string>

#include "platform/ApplProperty.h"

class PropertyBuilder {
 public:
  // A new property, owned by the caller (delete it when done); a distinct
  // object for every call.
  const ApplProperty* build(const std::string& name, int type, const std::string& value, int trailing);
};

#endif  // PLATFORM_PROPERTYBUILDER_H_

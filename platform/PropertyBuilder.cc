// Factory of the property library.
#include "platform/PropertyBuilder.h"

const ApplProperty* PropertyBuilder::build(const std::string& name, int type, const std::string& value,
                                           int trailing) {
  return new ApplProperty(name, type, value, trailing);
}

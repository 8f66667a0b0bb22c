// A property of the property library.
#include "platform/ApplProperty.h"

#include <utility>

ApplProperty::ApplProperty(std::string name, int type, std::string value, int trailing)
    : name_(std::move(name)), type_(type), value_(std::move(value)), trailing_(trailing) {}

ApplProperty::~ApplProperty() = default;

void ApplProperty::setValue(const char* value) { value_ = value != nullptr ? value : ""; }

// The in-process read of an object's properties: each property is handed
// over as views of the database layer's own row, valid only during the
// call, instead of as the string copies that PropCallBack takes.
#ifndef PLATFORM_PROPERTYVISITOR_H_
#define PLATFORM_PROPERTYVISITOR_H_

#include <string_view>

class PropertyVisitor {
 public:
  // Called once per property, in the store's order. The views end with the
  // call; a visitor that keeps a text copies it.
  virtual void property(std::string_view name, unsigned long type, std::string_view value) = 0;

 protected:
  ~PropertyVisitor() = default;
};

#endif  // PLATFORM_PROPERTYVISITOR_H_

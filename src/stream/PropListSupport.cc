// Heap records of the listeners' property and content lists.
#include "stream/PropListSupport.h"

#include <cstring>

char* copyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void appendProperty(AppMgrPropsList& list, const std::string& name, unsigned long type,
                    const std::string& value) {
  AppMgrProps* record = new AppMgrProps;
  record->name = copyText(name);
  record->type = type;
  record->value = copyText(value);
  list.push_back(record);
}

void appendContent(AppMgrContentList& list, unsigned long type, const std::string& path) {
  AppMgrContent* record = new AppMgrContent;
  record->path = copyText(path);
  record->type = type;
  list.push_back(record);
}

void clearPropList(AppMgrPropsList& list) {
  for (AppMgrProps* record : list) {
    delete[] record->name;
    delete[] record->value;
    record->name = nullptr;
    record->value = nullptr;
    delete record;
  }
  list.clear();
}

void clearContentList(AppMgrContentList& list) {
  for (AppMgrContent* record : list) {
    delete[] record->path;
    record->path = nullptr;
    delete record;
  }
  list.clear();
}

void deleteIncomingList(std::list<const ApplProperty*>& list) {
  for (const ApplProperty* property : list) delete property;
  list.clear();
}

void deleteIncomingList(std::list<std::string*>& list) {
  for (std::string* entry : list) delete entry;
  list.clear();
}

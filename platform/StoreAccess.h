// How the database classes reach the installed configuration store: one
// place for the "no store" failure and for delivering an object's
// properties through a listener's callback.
#ifndef PLATFORM_STOREACCESS_H_
#define PLATFORM_STOREACCESS_H_

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "AppMgr/PropCallBack.h"
#include "platform/ApplProperty.h"
#include "platform/PropertyVisitor.h"

#include "store/ConfigStore.h"
#include "store/StoreFailure.h"

// The installed store; null, with result XR_GET_INTERFACE_FAILED and a text
// naming `component`, when none is installed.
std::shared_ptr<ConfigStore> requireStore(const char* component, int& result, std::string& errorText);

// Reads the properties of one object and hands each to callback before
// returning; 0 or the failure's code and text.
int deliverProperties(const char* component, PropertyOwner owner, unsigned long id, long scope,
                      PropCallBack* callback, std::string& errorText);

// The same read as deliverProperties, with each property handed to `visitor`
// as views of a row in the calling thread's reused rows: no copy per
// property beyond the store's own into that storage.
int visitProperties(const char* component, PropertyOwner owner, unsigned long id, long scope,
                    PropertyVisitor& visitor, std::string& errorText);

enum class PropertyWrite { kSet, kRemove };

// Sets (name, type and value) or removes (by name) the properties of `list`
// for one object in one store call. A list holding a null property is
// refused whole with XR_BAD_ARGS, changing nothing. The trailing number of
// a property is not stored.
int writeProperties(const char* component, ConfigStore& store, PropertyOwner owner, unsigned long id,
                    const std::list<const ApplProperty*>& list, PropertyWrite what, std::string& errorText);

#endif  // PLATFORM_STOREACCESS_H_

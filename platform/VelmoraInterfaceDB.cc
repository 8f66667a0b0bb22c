// VelmoraInterfaceDB: reads one Velmora record from the configuration store.
#include "platform/VelmoraInterfaceDB.h"

#include <vector>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ThreadScratch.h"

#include "store/ConfigStore.h"

VelmoraInterface::~VelmoraInterface() = default;

namespace {

// Reads the Velmora with `id`, or named `name` when it is not empty, into `row`.
int findRow(unsigned long id, const std::string& name, VelmoraRow& row, std::string& errorText) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) {
    errorText = "VelmoraInterfaceDB: no configuration store is installed";
    return static_cast<int>(XR_GET_INTERFACE_FAILED);
  }
  // An empty name selects by id; the store does the same.
  return store->findVelmora(id, name, row, errorText);
}

void copyNumbersAndName(const VelmoraRow& row, unsigned long& id, unsigned long& value1,
                        unsigned long& value2, unsigned long& value3, std::string& name, int& signedValue) {
  id = row.id;
  value1 = row.releaseId;
  value2 = row.flags;
  value3 = row.timeZoneId;
  name = row.name;
  signedValue = row.utcOffsetMinutes;
}

}  // namespace

int VelmoraInterfaceDB::lookup(unsigned long& id, unsigned long& value1, unsigned long& value2,
                               unsigned long& value3, std::string& name, std::string& text1,
                               std::string& text2, std::string& text3, std::string& text4, int& signedValue,
                               const std::string& /*input*/, std::string& errorText, void* /*reserved*/) {
  VelmoraRow row;
  const int rc = findRow(id, name, row, errorText);
  if (rc != 0) return rc;
  copyNumbersAndName(row, id, value1, value2, value3, name, signedValue);
  text1 = row.hostName;
  text2 = row.description;
  text3 = row.timeZoneName;
  text4 = row.installDir;
  return 0;
}

int VelmoraInterfaceDB::lookupNumbersAndName(unsigned long& id, unsigned long& value1, unsigned long& value2,
                                             unsigned long& value3, std::string& name, int& signedValue,
                                             std::string& errorText) {
  // One row, held in a vector so that the thread can lend it from call to
  // call; the store assigns into its strings.
  ScratchLoan<std::vector<VelmoraRow>> rows;
  rows.get().resize(1);
  const int rc = findRow(id, name, rows.get().front(), errorText);
  if (rc != 0) return rc;
  copyNumbersAndName(rows.get().front(), id, value1, value2, value3, name, signedValue);
  return 0;
}

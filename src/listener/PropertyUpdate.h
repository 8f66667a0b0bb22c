// The steps that the client property writes and the subclient property
// update share: decode the set list, re-encrypt its passwords for a peer
// that knows only password version 1, set it, then decode the remove list
// and remove it. The remove list is never converted.
#ifndef SRC_LISTENER_PROPERTYUPDATE_H_
#define SRC_LISTENER_PROPERTYUPDATE_H_

#include <sstream>
#include <string>

#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ApplProperty.h"

#include "listener/ListenerFrame.h"
#include "stream/PropListSupport.h"
#include "stream/ProtocolVersion.h"

// The texts and the database arguments of one property update. Null texts
// read as empty lists.
struct PropertyUpdateRequest {
  unsigned long id = 0;
  const char* setText = nullptr;
  const char* removeText = nullptr;
  bool flag = false;  // the boolean argument of both database calls
  int level = 0;      // password conversion level of the set list
  unsigned int protocolVersion = 0;
};

// Runs the four steps in order with db (ClientInterfaceDB or SCInterfaceDB).
// The first failing step throws BCLsnException with its code and the error
// text, and the steps after it are skipped; whatever succeeded before it
// stays applied. The decoded properties stay in the two lists for the
// caller to free.
template <typename Db>
void applyPropertyUpdate(Db& db, const PropertyUpdateRequest& request,
                         IncomingList<const ApplProperty>& setList,
                         IncomingList<const ApplProperty>& removeList, std::string& errorText) {
  Streamer streamer;
  std::istringstream setStream(textOrEmpty(request.setText));
  std::istringstream removeStream(textOrEmpty(request.removeText));

  int result = streamer.extractPropList(setList.items(), setStream, errorText);
  if (result != 0) throw BCLsnException(result, errorText);
  if (peerNeedsPasswordConversion(request.protocolVersion)) {
    streamer.convertPasswords(setList.items(), request.level, XR_PASSWORD_VER_2);
  }
  result = db.setProperties(request.id, setList.items(), request.flag, errorText, nullptr, nullptr);
  if (result != 0) throw BCLsnException(result, errorText);

  result = streamer.extractPropList(removeList.items(), removeStream, errorText);
  if (result != 0) throw BCLsnException(result, errorText);
  result = db.removeProperties(request.id, removeList.items(), request.flag, errorText, nullptr, nullptr);
  if (result != 0) throw BCLsnException(result, errorText);
}

#endif  // SRC_LISTENER_PROPERTYUPDATE_H_

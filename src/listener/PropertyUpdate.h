// The steps that the client property writes and the subclient property
// update share: decode the set list, re-encrypt its passwords for a peer
// that knows only password version 1, set it, then decode the remove list
// and remove it. The remove list is never converted.
#ifndef SRC_LISTENER_PROPERTYUPDATE_H_
#define SRC_LISTENER_PROPERTYUPDATE_H_

#include <memory>
#include <string>
#include <string_view>

#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ApplProperty.h"
#include "platform/PropertyBuilder.h"

#include "listener/ListenerFrame.h"
#include "stream/ListDecoder.h"
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

// Decodes the property list of `text` into `list`, as the database calls
// take it: what Streamer::extractPropList decodes from a stream of the
// text, without the stream. Returns 0 or the stream error (errorText set).
inline int decodePropertyList(const char* text, IncomingList<const ApplProperty>& list,
                              std::string& errorText) {
  ListDecoder decoder(text);
  PropertyBuilder builder;
  std::string name;
  std::string value;
  return decoder.properties(
      [&](std::string_view nameView, int type, std::string_view valueView, int trailing) {
        name.assign(nameView);
        value.assign(valueView);
        std::unique_ptr<const ApplProperty> property(builder.build(name, type, value, trailing));
        list.items().push_back(property.get());
        property.release();
      },
      errorText);
}

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
  int result = decodePropertyList(textOrEmpty(request.setText), setList, errorText);
  if (result != 0) throw BCLsnException(result, errorText);
  if (peerNeedsPasswordConversion(request.protocolVersion)) {
    streamer.convertPasswords(setList.items(), request.level, XR_PASSWORD_VER_2);
  }
  result = db.setProperties(request.id, setList.items(), request.flag, errorText, nullptr, nullptr);
  if (result != 0) throw BCLsnException(result, errorText);

  result = decodePropertyList(textOrEmpty(request.removeText), removeList, errorText);
  if (result != 0) throw BCLsnException(result, errorText);
  result = db.removeProperties(request.id, removeList.items(), request.flag, errorText, nullptr, nullptr);
  if (result != 0) throw BCLsnException(result, errorText);
}

#endif  // SRC_LISTENER_PROPERTYUPDATE_H_

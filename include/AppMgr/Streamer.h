// Codec of the property and content list streams, and the re-encryption of
// password properties for peers that know only password version 1.
#ifndef APPMGR_STREAMER_H_
#define APPMGR_STREAMER_H_

#include <istream>
#include <list>
#include <ostream>
#include <string>

#include "AppMgr/AppMgrExport.h"
#include "AppMgr/AppMgrProps.h"
#include "platform/ApplProperty.h"

// The one-space separator written after every token.
APPMGR_EXPORT extern const std::string stream_ws;

// Conversion levels: which object a property list belongs to, and so which
// property names hold passwords.
constexpr int NO_CONVERSIONS = 0;
constexpr int CONV_PWD_CLIENT_PROPS_LEVEL = 1;
constexpr int CONV_PWD_APPTYPE_PROPS_LEVEL = 2;
constexpr int CONV_PWD_INST_PROPS_LEVEL = 3;
constexpr int CONV_PWD_BSET_PROPS_LEVEL = 4;
constexpr int CONV_PWD_SC_PROPS_LEVEL = 5;

class APPMGR_EXPORT Streamer {
 public:
  using PropertyList = std::list<const ApplProperty*>;
  using EntryList = std::list<std::string*>;

  // Writes "<count> " then "0 <name> <type> <value> " per record; returns 0.
  virtual int encodePropList(AppMgrPropsList& list, std::ostream& out, std::string& errorText);
  // Appends one new ApplProperty (owned by the caller) per entry of an
  // incoming property stream; returns 0 or 0xC201 with a message.
  virtual int extractPropList(PropertyList& list, std::istream& in, std::string& errorText);
  // Writes "<count> " then "<path> " per record; returns 0.
  virtual int encodeContentList(AppMgrContentList& list, std::ostream& out, std::string& errorText);
  // Appends one new string (owned by the caller) per entry of an incoming
  // content stream; returns 0 or 0xC201 with a message.
  virtual int extractContentList(EntryList& list, std::istream& in, std::string& errorText);
  virtual ~Streamer();

  // Re-encrypts, in the given password version, the values of the password
  // properties of the level. Outgoing and incoming form.
  void convertPasswords(AppMgrPropsList& list, int level, int version);
  void convertPasswords(PropertyList& list, int level, int version);
};

#endif  // APPMGR_STREAMER_H_

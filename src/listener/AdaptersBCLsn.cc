// AdaptersBCLsn: the adapters' list queries (APPMAN_DOQUERY_REQ) and
// single-value lookups (APPMAN_DOLOOKUP_REQ). handleMessage selects in two
// stages, by request code and then by the type that starts the request
// text; every handler then runs one frame (serve below) and answers one
// appmanGeneralMsg whose data is the answer text of AdapterText.h.
#include "AppMgr/AdaptersBCLsn.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/AdaptersInterfaceDB.h"
#include "platform/InstInterfaceDB.h"

#include "listener/AdapterText.h"
#include "listener/ListenerFrame.h"

namespace {

using Handler = int (AdaptersBCLsn::*)(CSSessionWrapper&, unsigned long, xrsDatabuf*);

struct AdapterType {
  unsigned long requestCode;
  uint32_t type;
  Handler handler;
};

// The served types. A handler's first row names the type of its mismatch line.
const AdapterType kAdapterTypes[] = {
    {APPMAN_DOQUERY_REQ, velmoraVelmorasQuery, &AdaptersBCLsn::getVelmoraList},
    {APPMAN_DOQUERY_REQ, velmoraClientsQuery, &AdaptersBCLsn::getClientList},
    {APPMAN_DOQUERY_REQ, velmoraMediaAgentQuery, &AdaptersBCLsn::getClientListOfType},
    {APPMAN_DOQUERY_REQ, clientApplicationsQuery, &AdaptersBCLsn::getAppIdList},
    {APPMAN_DOQUERY_REQ, clientApplicationTypesQuery, &AdaptersBCLsn::getApplicationTypes},
    {APPMAN_DOQUERY_REQ, clientInstancesQuery, &AdaptersBCLsn::getInstanceList},
    {APPMAN_DOQUERY_REQ, instanceListFromAppTypeQuery, &AdaptersBCLsn::getInstanceList},
    {APPMAN_DOQUERY_REQ, clientBackupSetsQuery, &AdaptersBCLsn::getBackupSetList},
    {APPMAN_DOQUERY_REQ, clientBackupSetsNoInstanceQuery, &AdaptersBCLsn::getBackupSetList},
    {APPMAN_DOQUERY_REQ, clientBackupSetsWithInstance, &AdaptersBCLsn::getBackupSetList},
    {APPMAN_DOQUERY_REQ, clientSubclientsQuery, &AdaptersBCLsn::getSubclientList},
    {APPMAN_DOQUERY_REQ, archiveGroupApplicationsQuery, &AdaptersBCLsn::getApplications},
    {APPMAN_DOLOOKUP_REQ, ApplicationTypeNameLookup, &AdaptersBCLsn::getApplicationTypeName},
    {APPMAN_DOLOOKUP_REQ, ApplicationIdLookup, &AdaptersBCLsn::getAppIdString},
    {APPMAN_DOLOOKUP_REQ, ClientIdLookupFromInstanceId, &AdaptersBCLsn::getClientId},
    {APPMAN_DOLOOKUP_REQ, LookupInstNameFromId, &AdaptersBCLsn::getInstanceName},
};

// The row of `type` under `requestCode`, or null.
const AdapterType* findType(unsigned long requestCode, int type) {
  for (const AdapterType& row : kAdapterTypes) {
    if (row.requestCode == requestCode && row.type == static_cast<uint32_t>(type)) return &row;
  }
  return nullptr;
}

// The first row of `handler`; every handler has one.
const AdapterType& firstRowOf(Handler handler) {
  for (const AdapterType& row : kAdapterTypes) {
    if (row.handler == handler) return row;
  }
  std::abort();  // a handler without a type is a programming error
}

bool servesType(Handler handler, int type) {
  for (const AdapterType& row : kAdapterTypes) {
    if (row.handler == handler && row.type == static_cast<uint32_t>(type)) return true;
  }
  return false;
}

// Fills and sends the answer: data points to `text` on success and is null
// otherwise; context is the request's. The text lives until after the send.
void sendAnswer(CSSessionWrapper& session, EvEvent& ev, const char* tag, HandlerId handler, int type,
                uint64_t context, const std::string& text, int errorCode, const std::string& errorText) {
  appmanGeneralMsg rsp;
  std::memset(static_cast<void*>(&rsp), 0, sizeof rsp);
  rsp.msgCode = static_cast<uint32_t>(rowOf(handler).responseCode);
  rsp.data = errorCode == 0 ? text.c_str() : nullptr;
  rsp.context = context;
  rsp.errorCode = static_cast<uint32_t>(errorCode);
  rsp.reserved = 0;
  ev.Debug(tag, "Command [0x%x] sending response Code [%d] back to client", static_cast<unsigned>(type),
           errorCode);
  sendResponse(session, ev, tag, handler, 0, &rsp, errorCode, errorText, SendLine::kOmit);
}

// The answer to a request without a text: XR_BAD_ARGS, nothing read through
// a null pointer.
int answerMissingText(CSSessionWrapper& session, EvEvent& ev, const char* tag, HandlerId handler,
                      const appmanGeneralMsg* req) {
  const std::string errorText = "The adapter request carries no request text";
  const int errorCode = static_cast<int>(XR_BAD_ARGS);
  ev.Debug(tag, "Error [%s]", errorText.c_str());
  sendAnswer(session, ev, tag, handler, 0, req != nullptr ? req->context : 0, std::string(), errorCode,
             errorText);
  return errorCode;
}

// The frame of every adapter handler. `step` reads the numbers after the
// type, calls the database and, on success, writes the answer text; it
// returns the database's result.
template <typename Step>
int serve(CSSessionWrapper& session, xrsDatabuf* buf, const char* tag, Handler self, Step step) {
  const HandlerId handler = handlerFor(ListenerId::kAdapters, firstRowOf(self).requestCode);
  const appmanGeneralMsg* req = requestRecord<appmanGeneralMsg>(buf);
  std::string errorText;
  std::ostringstream text;
  EvEvent ev;
  logEntry(ev, tag);
  if (req == nullptr || req->data == nullptr) return answerMissingText(session, ev, tag, handler, req);

  std::istringstream in(req->data);
  AdapterRequestReader reader(in);
  const int type = reader.readType();
  if (!servesType(self, type)) {
    ev.Debug(tag, "Can handle [%x] only. Cannot handle [%x] command.", firstRowOf(self).type,
             static_cast<unsigned>(type));
    return static_cast<int>(XR_BAD_REQUEST);
  }

  int errorCode = 0;
  try {
    errorCode = step(reader, static_cast<uint32_t>(type), text, errorText);
    if (errorCode != 0) ev.Debug(tag, "Error [%s]", errorText.c_str());
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = e.getErrorCode();
  }

  const std::string answer = text.str();
  sendAnswer(session, ev, tag, handler, type, req->context, answer, errorCode, errorText);
  return errorCode;
}

}  // namespace

// ---- List queries ----

int AdaptersBCLsn::getVelmoraList(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getVelmoraList", &AdaptersBCLsn::getVelmoraList,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 in.next();  // n2: not used
                 AdaptersInterfaceDB db;
                 AdapterLists lists;
                 const int result = db.getVelmoraList(lists.ids, lists.names, errorText, n1, nullptr, false);
                 return result != 0 ? result : writeListLines(out, ListLine::kId, lists, errorText);
               });
}

int AdaptersBCLsn::getClientList(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getClientList", &AdaptersBCLsn::getClientList,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 in.next();  // n1: not used
                 const unsigned long n2 = in.next();
                 AdaptersInterfaceDB db;
                 AdapterLists lists;
                 const int result = db.getClientList(lists.ids, lists.names, errorText, n2, nullptr, 2);
                 return result != 0 ? result : writeListLines(out, ListLine::kId, lists, errorText);
               });
}

int AdaptersBCLsn::getClientListOfType(CSSessionWrapper& session, unsigned long /*reqCode*/,
                                       xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getClientListOfType", &AdaptersBCLsn::getClientListOfType,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 AdaptersInterfaceDB db;
                 AdapterLists lists;
                 const int result =
                     db.getClientListOfType(lists.ids, lists.names, errorText, n1, 2, nullptr, false);
                 return result != 0 ? result : writeListLines(out, ListLine::kId, lists, errorText);
               });
}

int AdaptersBCLsn::getAppIdList(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getAppIdList", &AdaptersBCLsn::getAppIdList,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 const unsigned long n2 = in.next();
                 const unsigned long n3 = in.next();
                 const unsigned long n4 = in.next();
                 const unsigned long n5 = in.next();
                 AdaptersInterfaceDB db;
                 AdapterLists lists;
                 const int result =
                     db.getAppIdList(lists.names, errorText, n2, n1, n3, n4, n5, nullptr, false);
                 return result != 0 ? result : writeListLines(out, ListLine::kName, lists, errorText);
               });
}

int AdaptersBCLsn::getApplicationTypes(CSSessionWrapper& session, unsigned long /*reqCode*/,
                                       xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getApplicationTypes", &AdaptersBCLsn::getApplicationTypes,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 in.next();  // n2: not used
                 AdaptersInterfaceDB db;
                 AdapterLists lists;
                 const int result = db.getApplicationTypes(lists.ids, lists.names, errorText, n1, nullptr, 1);
                 return result != 0 ? result : writeListLines(out, ListLine::kIdName, lists, errorText);
               });
}

int AdaptersBCLsn::getInstanceList(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getInstanceList", &AdaptersBCLsn::getInstanceList,
               [](AdapterRequestReader& in, uint32_t type, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 const unsigned long n2 = in.next();
                 AdaptersInterfaceDB db;
                 AdapterLists lists;
                 int result = 0;
                 if (type == clientInstancesQuery) {
                   const unsigned long n3 = in.next();
                   in.next();  // n4: not used
                   result = db.getInstanceList(lists.ids, lists.names, errorText, n2, n1, n3, nullptr, 1);
                 } else {
                   result = db.getInstanceList(lists.ids, lists.names, errorText, n1, n2, nullptr, 1);
                 }
                 return result != 0 ? result : writeListLines(out, ListLine::kIdName, lists, errorText);
               });
}

int AdaptersBCLsn::getBackupSetList(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(
      session, buf, "AdaptersBCLsn::getBackupSetList", &AdaptersBCLsn::getBackupSetList,
      [](AdapterRequestReader& in, uint32_t type, std::ostream& out, std::string& errorText) {
        const unsigned long n1 = in.next();
        in.next();  // n2: not used
        const unsigned long n3 = in.next();
        unsigned long n5 = 0;
        if (type != clientBackupSetsQuery) in.next();  // n4: not used
        if (type == clientBackupSetsWithInstance) n5 = in.next();
        AdaptersInterfaceDB db;
        AdapterLists lists;
        int result = 0;
        if (type == clientBackupSetsQuery) {
          result = db.getBackupSetList(lists.ids, lists.names, lists.flags, errorText, 0, n1, n3, nullptr, 1);
        } else if (type == clientBackupSetsNoInstanceQuery) {
          result = db.getBackupSetList(lists.ids, lists.names, lists.flags, errorText, n1, n3, 0, nullptr, 1);
        } else {
          result =
              db.getBackupSetList(lists.ids, lists.names, lists.flags, errorText, n1, n3, n5, nullptr, 1);
        }
        return result != 0 ? result : writeListLines(out, ListLine::kIdFlagName, lists, errorText);
      });
}

int AdaptersBCLsn::getSubclientList(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getSubclientList", &AdaptersBCLsn::getSubclientList,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 in.next();  // n2: not used
                 const unsigned long n3 = in.next();
                 AdaptersInterfaceDB db;
                 AdapterLists lists;  // the flags are filled but not answered
                 const int result =
                     db.getSubclientList(lists.ids, lists.names, lists.flags, errorText, n1, n3, nullptr, 1);
                 return result != 0 ? result : writeListLines(out, ListLine::kIdName, lists, errorText);
               });
}

int AdaptersBCLsn::getApplications(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getApplications", &AdaptersBCLsn::getApplications,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 const unsigned long n2 = in.next();
                 AdaptersInterfaceDB db;
                 AdapterLists lists;
                 bool flag = false;  // filled but not answered
                 const int result = db.getApplications(lists.names, n1, n2, flag, errorText, nullptr);
                 return result != 0 ? result : writeListLines(out, ListLine::kName, lists, errorText);
               });
}

// ---- Lookups ----

int AdaptersBCLsn::getApplicationTypeName(CSSessionWrapper& session, unsigned long /*reqCode*/,
                                          xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getApplicationTypeName", &AdaptersBCLsn::getApplicationTypeName,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 AdaptersInterfaceDB db;
                 std::string name;
                 const int result = db.getApplicationTypeName(n1, name, errorText, nullptr);
                 if (result == 0) out << escapedToken(name) << '\n';
                 return result;
               });
}

int AdaptersBCLsn::getAppIdString(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getAppIdString", &AdaptersBCLsn::getAppIdString,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 AdaptersInterfaceDB db;
                 std::string appIdText;
                 const int result = db.getAppIdString(n1, appIdText, errorText, nullptr);
                 if (result == 0) out << escapedToken(appIdText) << '\n';
                 return result;
               });
}

int AdaptersBCLsn::getClientId(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getClientId", &AdaptersBCLsn::getClientId,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 AdaptersInterfaceDB db;
                 unsigned long first = 0;
                 unsigned long second = 0;
                 const int result = db.getClientId(n1, first, second, errorText, nullptr);
                 if (result == 0) out << first << stream_ws << second << '\n';
                 return result;
               });
}

int AdaptersBCLsn::getInstanceName(CSSessionWrapper& session, unsigned long /*reqCode*/, xrsDatabuf* buf) {
  return serve(session, buf, "AdaptersBCLsn::getInstanceName", &AdaptersBCLsn::getInstanceName,
               [](AdapterRequestReader& in, uint32_t, std::ostream& out, std::string& errorText) {
                 const unsigned long n1 = in.next();
                 InstInterfaceDB db;
                 std::string name;
                 std::string description;  // not used
                 long flags = 0;           // not used
                 unsigned long unused = 0;
                 const int result =
                     db.lookup(n1, name, flags, unused, unused, unused, description, errorText, nullptr);
                 if (result == 0) out << escapedToken(name) << '\n';
                 return result;
               });
}

// ---- Selection ----

int AdaptersBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "AdaptersBCLsn::handleMessage";
  EvEvent ev;
  const HandlerId stage = handlerFor(ListenerId::kAdapters, reqCode);
  if (stage == HandlerId::kNone) {
    logUnexpected(ev, tag, reqCode);
    return 0;
  }
  const appmanGeneralMsg* req = requestRecord<appmanGeneralMsg>(buf);
  if (req == nullptr || req->data == nullptr) return answerMissingText(session, ev, tag, stage, req);

  std::istringstream in(req->data);
  const int type = AdapterRequestReader(in).readType();
  if (stage == HandlerId::kDoQuery) {
    ev.Debug(tag, "Received APPMAN_DOQUERY_REQ request [0x%x]", static_cast<unsigned>(type));
  } else {
    ev.Debug(tag, "Received APPMAN_DOLOOKUP_REQ request [0x%x]", static_cast<unsigned>(type));
  }
  const AdapterType* row = findType(reqCode, type);
  if (row == nullptr) {
    logUnexpected(ev, tag, reqCode);
    return 0;
  }
  return (this->*(row->handler))(session, reqCode, buf);
}

// Shared pieces of the handler frame.
#include "listener/ListenerFrame.h"

#include "AppMgr/appMgrStructDefines.h"

void logEntry(EvEvent& ev, const char* tag) { ev.Debug(tag, " "); }

void logUnexpected(EvEvent& ev, const char* tag, unsigned long requestCode) {
  ev.Debug(tag, "Unexpected network request [%#lx]. Cannot handle this request.", requestCode);
}

void sendResponse(CSSessionWrapper& session, EvEvent& ev, const char* tag, HandlerId handler,
                  unsigned long requestCode, const void* record, int errorCode, const std::string& errorText,
                  SendLine line) {
  const RequestRow& row = rowOf(handler);
  if (line == SendLine::kLog) {
    ev.Debug(tag, "Request Type [%#lx], sending response Code [%d] back to client", requestCode, errorCode);
  }
  (void)session.send(row.responseCode, record, row.recordLength, errorText);
}

void sendStreamLookupResponse(CSSessionWrapper& session, EvEvent& ev, const char* tag, HandlerId handler,
                              unsigned long requestCode, TextOutStream& stream, int errorCode,
                              const std::string& errorText) {
  // The stream NUL-terminates its text and outlives the send.
  appmanGeneralMsg response;
  response.msgCode = static_cast<uint32_t>(APPMAN_PROPERTY_STREAM_RSP);
  response.data = errorCode == 0 ? stream.c_str() : nullptr;
  response.errorCode = static_cast<uint32_t>(errorCode);
  sendResponse(session, ev, tag, handler, requestCode, &response, errorCode, errorText);
}

// Shared pieces of the handler frame.
#include "listener/ListenerFrame.h"

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

// Pieces of the handler frame shared by every listener: the entry trace,
// the unexpected-request line, reading the request record, and the single
// send of a handler with its log line. The frame itself (decode, database
// calls, fill the record, send once, free) stays visible in each handler.
#ifndef SRC_LISTENER_LISTENERFRAME_H_
#define SRC_LISTENER_LISTENERFRAME_H_

#include <string>

#include "platform/CSSessionWrapper.h"
#include "platform/EvDebug.h"
#include "platform/xrsDatabuf.h"

#include "listener/RequestTable.h"
#include "stream/TextOutStream.h"

// Logs the entry trace: the text " " under the handler's tag.
void logEntry(EvEvent& ev, const char* tag);

// Logs "Unexpected network request [%#lx]. Cannot handle this request.".
void logUnexpected(EvEvent& ev, const char* tag, unsigned long requestCode);

// The request record behind the buffer, or null when the buffer or its data
// pointer is null.
template <typename Record>
const Record* requestRecord(const xrsDatabuf* buf) {
  return buf != nullptr ? static_cast<const Record*>(buf->data) : nullptr;
}

// A list text of a request, with a null pointer read as the empty text.
inline const char* textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

enum class SendLine { kLog, kOmit };

// Sends the response of `handler` once: the response code and record length
// of its table row, the record and the error text. With SendLine::kLog it
// first logs "Request Type [%#lx], sending response Code [%d] back to
// client". The send's status is discarded: a failed send changes nothing.
void sendResponse(CSSessionWrapper& session, EvEvent& ev, const char* tag, HandlerId handler,
                  unsigned long requestCode, const void* record, int errorCode, const std::string& errorText,
                  SendLine line = SendLine::kLog);

// Answers a property-stream lookup with one appmanGeneralMsg: msgCode
// APPMAN_PROPERTY_STREAM_RSP, data the stream's text on success and null on
// failure (a peer never receives a partial stream), errorCode the result.
// Sends through sendResponse, so the send line is logged.
void sendStreamLookupResponse(CSSessionWrapper& session, EvEvent& ev, const char* tag, HandlerId handler,
                              unsigned long requestCode, TextOutStream& stream, int errorCode,
                              const std::string& errorText);

#endif  // SRC_LISTENER_LISTENERFRAME_H_

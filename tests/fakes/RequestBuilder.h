// Builds request buffers for the tests: a request record held by value and
// an xrsDatabuf pointing at it.
#ifndef TESTS_FAKES_REQUESTBUILDER_H_
#define TESTS_FAKES_REQUESTBUILDER_H_

#include "platform/xrsDatabuf.h"

template <typename Record>
class Request {
 public:
  Request() { bind(); }
  explicit Request(const Record& record) : record_(record) { bind(); }
  Request(const Request& other) : record_(other.record_) { bind(); }
  Request& operator=(const Request&) = delete;

  Record& record() { return record_; }
  xrsDatabuf* buf() { return &buf_; }

 private:
  void bind() {
    buf_.data = &record_;
    buf_.length = sizeof(Record);
    buf_.capacity = sizeof(Record);
  }
  Record record_;
  xrsDatabuf buf_;
};

#endif  // TESTS_FAKES_REQUESTBUILDER_H_

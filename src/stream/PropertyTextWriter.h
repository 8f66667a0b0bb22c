// A property callback that encodes each property as the database layer
// delivers it, straight into the text of an outgoing property list, in
// place of a list of heap records that is encoded afterwards. The text is
// byte for byte what Streamer::encodePropList writes for the records that
// the listeners' getPropertiesCallback would have built.
#ifndef SRC_STREAM_PROPERTYTEXTWRITER_H_
#define SRC_STREAM_PROPERTYTEXTWRITER_H_

#include <cstddef>
#include <ostream>
#include <string>

#include "AppMgr/PropCallBack.h"

class PropertyTextWriter final : public PropCallBack {
 public:
  PropertyTextWriter() = default;
  PropertyTextWriter(const PropertyTextWriter&) = delete;
  PropertyTextWriter& operator=(const PropertyTextWriter&) = delete;
  ~PropertyTextWriter() = default;

  // Encodes one entry: "0", the escaped name, the type's low 32 bits as a
  // signed number, the escaped value, each followed by one space. Name and
  // value end at their first NUL character, as the records' texts do.
  void getPropertiesCallback(std::string name, unsigned long type, std::string value,
                             unsigned long reserved) override;

  // Writes the list: the number of entries, one space, then the entries.
  void writeTo(std::ostream& out) const;

  size_t count() const { return count_; }

 private:
  std::string entries_;
  size_t used_ = 0;  // bytes of entries_ that hold entries; the rest is room
  size_t count_ = 0;
};

#endif  // SRC_STREAM_PROPERTYTEXTWRITER_H_

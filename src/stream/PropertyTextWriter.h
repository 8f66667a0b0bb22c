// A property callback (and visitor) that encodes each property as the
// database layer delivers it, straight into the text of an outgoing
// property list, in place of a list of heap records that is encoded
// afterwards. The text is byte for byte what Streamer::encodePropList writes
// for the records that the listeners' getPropertiesCallback would have
// built.
#ifndef SRC_STREAM_PROPERTYTEXTWRITER_H_
#define SRC_STREAM_PROPERTYTEXTWRITER_H_

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "AppMgr/PropCallBack.h"
#include "platform/PropertyVisitor.h"
#include "platform/ThreadScratch.h"

class PropertyTextWriter final : public PropertyVisitor, public PropCallBack {
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
  // The same entry from views of the texts.
  void property(std::string_view name, unsigned long type, std::string_view value) override;

  // Writes the list into out's buffer: the number of entries, one space,
  // then the entries.
  void writeTo(std::ostream& out) const;

  size_t count() const { return count_; }

 private:
  // The text of the entries, in storage that the thread's next writer
  // reuses: its first used_ bytes hold entries, the rest is room.
  ScratchLoan<std::string, 64 * 1024> entries_;
  size_t used_ = 0;
  size_t count_ = 0;
};

#endif  // SRC_STREAM_PROPERTYTEXTWRITER_H_

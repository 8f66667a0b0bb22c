// The property writer against the record path: for every list, the text
// that PropertyTextWriter builds as the properties arrive equals what
// Streamer::encodePropList writes for the records that the listeners'
// callback builds from the same properties.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"

#include "stream/PropListSupport.h"
#include "stream/PropertyTextWriter.h"

namespace {

struct Property {
  std::string name;
  unsigned long type;
  std::string value;
};

std::string recordPath(const std::vector<Property>& properties) {
  AppMgrPropsList list;
  for (const Property& p : properties) appendProperty(list, p.name, p.type, p.value);
  std::ostringstream out;
  std::string errorText;
  Streamer().encodePropList(list, out, errorText);
  clearPropList(list);
  return out.str();
}

std::string writerPath(const std::vector<Property>& properties) {
  PropertyTextWriter writer;
  for (const Property& p : properties) writer.getPropertiesCallback(p.name, p.type, p.value, 7);
  std::ostringstream out;
  writer.writeTo(out);
  EXPECT_EQ(writer.count(), properties.size());
  return out.str();
}

TEST(PropertyTextWriter, WritesWhatTheRecordPathWrites) {
  std::vector<Property> many;
  for (int i = 0; i < 300; ++i) {
    many.push_back(
        {"Property " + std::to_string(i), static_cast<unsigned long>(i), std::string(i % 40, '+')});
  }
  const std::vector<std::vector<Property>> cases = {
      {},
      {{"", 0, ""}},
      {{"Log Level", 1, "2"}, {"A+B", 2, "`x y"}, {"Empty Prop", 3, ""}},
      {{"`", 0xFFFFFFFFul, "``"}, {"tab\there", 0x100000005ul, "+1"}, {"x`y", 0x80000000ul, " "}},
      // A record's text ends at its first NUL character.
      {{std::string("cut\0name", 8), 4, std::string("a\0b c", 5)}, {std::string(1, '\0'), 5, "v"}},
      // Longer than the writer's first block, and than any stack buffer.
      {{"long", 6, std::string(10000, ' ')}, {std::string(5000, 'n'), 7, std::string(3000, '+')}},
      many,
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    EXPECT_EQ(writerPath(cases[i]), recordPath(cases[i]));
  }
}

}  // namespace

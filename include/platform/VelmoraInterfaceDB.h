// Database access to Velmora records.
#ifndef PLATFORM_VELMORAINTERFACEDB_H_
#define PLATFORM_VELMORAINTERFACEDB_H_

#include <string>

class VelmoraInterface {
 public:
  virtual ~VelmoraInterface();
  // Reads one Velmora by id (name empty) or by name (id 0). On success fills
  // every output: id, release id, flags, time zone id, name, host name,
  // description, time zone name, install directory, UTC offset in minutes.
  virtual int lookup(unsigned long& id, unsigned long& value1, unsigned long& value2, unsigned long& value3,
                     std::string& name, std::string& text1, std::string& text2, std::string& text3,
                     std::string& text4, int& signedValue, const std::string& input, std::string& errorText,
                     void* reserved) = 0;
};

class VelmoraInterfaceDB final : public VelmoraInterface {
 public:
  int lookup(unsigned long& id, unsigned long& value1, unsigned long& value2, unsigned long& value3,
             std::string& name, std::string& text1, std::string& text2, std::string& text3,
             std::string& text4, int& signedValue, const std::string& input, std::string& errorText,
             void* reserved) override;

  // The lookup for in-process callers that use the numbers and the name
  // only: the same selection, result and outputs as lookup without the four
  // further texts, which are then neither copied out nor allocated. The row
  // is read into storage that the calling thread reuses.
  int lookupNumbersAndName(unsigned long& id, unsigned long& value1, unsigned long& value2,
                           unsigned long& value3, std::string& name, int& signedValue,
                           std::string& errorText);
};

#endif  // PLATFORM_VELMORAINTERFACEDB_H_

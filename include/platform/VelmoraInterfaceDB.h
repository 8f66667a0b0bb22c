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
};

#endif  // PLATFORM_VELMORAINTERFACEDB_H_

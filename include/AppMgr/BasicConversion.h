// Value-to-text conversion with fixed formats, and white-space trimming.
//
// Every BasicConversion member is static and throws nothing. The fromString
// and fromHexString members take the output first and the text second; they
// skip leading white space, stop at the first character that does not fit
// and leave the output unchanged when nothing converts. The toString and
// toHexString members take the value first and replace the whole output.
#ifndef APPMGR_BASICCONVERSION_H_
#define APPMGR_BASICCONVERSION_H_

#include <string>

#include "AppMgr/AppMgrExport.h"

class APPMGR_EXPORT BasicConversion {
 public:
  // False for the empty text, a text starting with '0' and exactly "false";
  // true for every other text.
  static void fromString(bool& out, const std::string& s);
  // The first character; the NUL character for the empty text.
  static void fromString(char& out, const std::string& s);
  static void fromString(unsigned char& out, const std::string& s);
  static void fromString(short& out, const std::string& s);               // "%hd"
  static void fromString(unsigned short& out, const std::string& s);      // "%hu"
  static void fromString(int& out, const std::string& s);                 // "%d"
  static void fromString(unsigned int& out, const std::string& s);        // "%u"
  static void fromString(long& out, const std::string& s);                // "%ld"
  static void fromString(unsigned long& out, const std::string& s);       // "%lu"
  static void fromString(long long& out, const std::string& s);           // "%lld"
  static void fromString(unsigned long long& out, const std::string& s);  // "%llu"
  static void fromString(float& out, const std::string& s);               // "%f"
  static void fromString(double& out, const std::string& s);              // "%lf"

  // Hexadecimal with an optional "0x" / "0X" prefix, digits of either case.
  static void fromHexString(unsigned short& out, const std::string& s);
  static void fromHexString(unsigned int& out, const std::string& s);
  static void fromHexString(unsigned long& out, const std::string& s);
  // Reads an unsigned hexadecimal number and stores its bit pattern.
  static void fromHexString(long long& out, const std::string& s);
  static void fromHexString(unsigned long long& out, const std::string& s);

  // "1" or "0".
  static void toString(bool value, std::string& out);
  // The single character; the NUL character gives the empty string.
  static void toString(char value, std::string& out);
  static void toString(unsigned char value, std::string& out);
  static void toString(short value, std::string& out);
  static void toString(unsigned short value, std::string& out);
  static void toString(int value, std::string& out);
  static void toString(unsigned int value, std::string& out);
  static void toString(long value, std::string& out);
  static void toString(unsigned long value, std::string& out);
  static void toString(long long value, std::string& out);
  static void toString(unsigned long long value, std::string& out);
  // "%f" in full, however long.
  static void toString(float value, std::string& out);
  static void toString(double value, std::string& out);

  // "0x" and lower-case digits, no padding; long long gives its bit pattern.
  static void toHexString(unsigned short value, std::string& out);
  static void toHexString(unsigned int value, std::string& out);
  static void toHexString(unsigned long value, std::string& out);
  static void toHexString(long long value, std::string& out);
  static void toHexString(unsigned long long value, std::string& out);
};

// Trims white space (7-bit isspace only; bytes 0x80 to 0xFF never count)
// from both ends of s, in place.
APPMGR_EXPORT void trimWhiteSpace(std::string& s);

// Returns its argument unchanged.
APPMGR_EXPORT std::string StringToWString(std::string s);

#endif  // APPMGR_BASICCONVERSION_H_

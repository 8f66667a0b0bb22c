// Value-to-text conversion with the fixed sscanf / snprintf formats, and
// white-space trimming.
#include "AppMgr/BasicConversion.h"

#include <cstdio>

namespace {

// Scans s with a one-conversion format into a temporary and stores it only
// when the conversion succeeded, so a text that does not convert leaves the
// output as it was. The scan ends at the text's first NUL.
template <typename Scanned, typename Out>
void scanInto(Out& out, const std::string& s, const char* format) {
  Scanned value{};
  if (std::sscanf(s.c_str(), format, &value) == 1) out = static_cast<Out>(value);
}

// Integer forms need at most 21 characters and always fit the buffer.
template <typename T>
void printInto(std::string& out, const char* format, T value) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, format, value);
  out.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// "%f" of a large magnitude can exceed any fixed buffer: measure it first
// and print straight into the output at its full length.
void printFixed(std::string& out, double value) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%f", value);
  if (n < 0) {
    out.clear();
  } else if (static_cast<size_t>(n) < sizeof buf) {
    out.assign(buf, static_cast<size_t>(n));
  } else {
    out.assign(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&out[0], out.size(), "%f", value);
    out.resize(static_cast<size_t>(n));
  }
}

void assignChar(std::string& out, char c) {
  if (c == '\0') {
    out.clear();
  } else {
    out.assign(1, c);
  }
}

// isspace of the "C" locale, restricted to the 7-bit range.
bool isAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void BasicConversion::fromString(bool& out, const std::string& s) {
  out = !(s.empty() || s[0] == '0' || s == "false");
}

void BasicConversion::fromString(char& out, const std::string& s) { out = s.empty() ? '\0' : s[0]; }

void BasicConversion::fromString(unsigned char& out, const std::string& s) {
  out = s.empty() ? 0 : static_cast<unsigned char>(s[0]);
}

void BasicConversion::fromString(short& out, const std::string& s) { scanInto<short>(out, s, "%hd"); }

void BasicConversion::fromString(unsigned short& out, const std::string& s) {
  scanInto<unsigned short>(out, s, "%hu");
}

void BasicConversion::fromString(int& out, const std::string& s) { scanInto<int>(out, s, "%d"); }

void BasicConversion::fromString(unsigned int& out, const std::string& s) {
  scanInto<unsigned int>(out, s, "%u");
}

void BasicConversion::fromString(long& out, const std::string& s) { scanInto<long>(out, s, "%ld"); }

void BasicConversion::fromString(unsigned long& out, const std::string& s) {
  scanInto<unsigned long>(out, s, "%lu");
}

void BasicConversion::fromString(long long& out, const std::string& s) {
  scanInto<long long>(out, s, "%lld");
}

void BasicConversion::fromString(unsigned long long& out, const std::string& s) {
  scanInto<unsigned long long>(out, s, "%llu");
}

void BasicConversion::fromString(float& out, const std::string& s) { scanInto<float>(out, s, "%f"); }

void BasicConversion::fromString(double& out, const std::string& s) { scanInto<double>(out, s, "%lf"); }

void BasicConversion::fromHexString(unsigned short& out, const std::string& s) {
  scanInto<unsigned short>(out, s, "%hx");
}

void BasicConversion::fromHexString(unsigned int& out, const std::string& s) {
  scanInto<unsigned int>(out, s, "%x");
}

void BasicConversion::fromHexString(unsigned long& out, const std::string& s) {
  scanInto<unsigned long>(out, s, "%lx");
}

void BasicConversion::fromHexString(long long& out, const std::string& s) {
  scanInto<unsigned long long>(out, s, "%llx");
}

void BasicConversion::fromHexString(unsigned long long& out, const std::string& s) {
  scanInto<unsigned long long>(out, s, "%llx");
}

void BasicConversion::toString(bool value, std::string& out) { out.assign(value ? "1" : "0"); }

void BasicConversion::toString(char value, std::string& out) { assignChar(out, value); }

void BasicConversion::toString(unsigned char value, std::string& out) {
  assignChar(out, static_cast<char>(value));
}

void BasicConversion::toString(short value, std::string& out) { printInto(out, "%hd", value); }

void BasicConversion::toString(unsigned short value, std::string& out) { printInto(out, "%hu", value); }

void BasicConversion::toString(int value, std::string& out) { printInto(out, "%d", value); }

void BasicConversion::toString(unsigned int value, std::string& out) { printInto(out, "%u", value); }

void BasicConversion::toString(long value, std::string& out) { printInto(out, "%ld", value); }

void BasicConversion::toString(unsigned long value, std::string& out) { printInto(out, "%lu", value); }

void BasicConversion::toString(long long value, std::string& out) { printInto(out, "%lld", value); }

void BasicConversion::toString(unsigned long long value, std::string& out) { printInto(out, "%llu", value); }

void BasicConversion::toString(float value, std::string& out) { printFixed(out, static_cast<double>(value)); }

void BasicConversion::toString(double value, std::string& out) { printFixed(out, value); }

void BasicConversion::toHexString(unsigned short value, std::string& out) { printInto(out, "0x%hx", value); }

void BasicConversion::toHexString(unsigned int value, std::string& out) { printInto(out, "0x%x", value); }

void BasicConversion::toHexString(unsigned long value, std::string& out) { printInto(out, "0x%lx", value); }

void BasicConversion::toHexString(long long value, std::string& out) {
  printInto(out, "0x%llx", static_cast<unsigned long long>(value));
}

void BasicConversion::toHexString(unsigned long long value, std::string& out) {
  printInto(out, "0x%llx", value);
}

void trimWhiteSpace(std::string& s) {
  size_t first = 0;
  size_t last = s.size();
  while (first < last && isAsciiSpace(s[first])) ++first;
  while (last > first && isAsciiSpace(s[last - 1])) --last;
  s.erase(last);
  s.erase(0, first);
}

std::string StringToWString(std::string s) { return s; }

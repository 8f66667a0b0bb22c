// The host's frame parsing on arbitrary bytes: the header, the control
// records and the request records whose text offsets are turned into
// pointers. The input is one frame; a body shorter than the header says is
// cut to what the input holds.
//
// Properties: a decoded header encodes to the same 32 bytes; a control
// record that decodes survives an encode and a decode; a request record
// that resolves has every text field null or pointing at a NUL-terminated
// text inside the text area (each record and text area sits in its own
// exact-size allocation, so a read past it is a sanitizer error), and
// flattening it again and resolving the result gives the same texts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AppMgr/appMgrStructDefines.h"

#include "FuzzSupport.h"
#include "host/WireFormat.h"

namespace wire = appmgr::wire;

namespace {

template <typename Record>
void controlRecord(const unsigned char* bytes, size_t length) {
  Record record;
  if (!wire::decodeRecord(bytes, length, record)) return;
  const std::vector<unsigned char> encoded = wire::encodeRecord(record);
  FUZZ_CHECK(encoded.size() == Record::kSize);
  Record again;
  FUZZ_CHECK(wire::decodeRecord(encoded.data(), encoded.size(), again));
  FUZZ_CHECK(wire::encodeRecord(again) == encoded);
}

const char* fieldAt(const unsigned char* record, size_t offset) {
  const char* text = nullptr;
  std::memcpy(&text, record + offset, sizeof text);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < wire::kHeaderSize) return 0;
  const wire::FrameHeader header = wire::decodeHeader(data);
  unsigned char encoded[wire::kHeaderSize];
  wire::encodeHeader(header, encoded);
  FUZZ_CHECK(std::memcmp(encoded, data, wire::kHeaderSize) == 0);

  size_t rest = size - wire::kHeaderSize;
  const size_t recordLength = header.recordLength < rest ? header.recordLength : rest;
  rest -= recordLength;
  const size_t textLength = header.textLength < rest ? header.textLength : rest;
  std::unique_ptr<unsigned char[]> record(new unsigned char[recordLength]);
  std::memcpy(record.get(), data + wire::kHeaderSize, recordLength);
  std::unique_ptr<char[]> textArea(new char[textLength]);
  std::memcpy(textArea.get(), data + wire::kHeaderSize + recordLength, textLength);

  controlRecord<wire::HelloRecord>(record.get(), recordLength);
  controlRecord<wire::HelloAckRecord>(record.get(), recordLength);
  controlRecord<wire::ErrorRecord>(record.get(), recordLength);
  controlRecord<wire::HealthRecord>(record.get(), recordLength);

  std::string leading;
  if (wire::leadingText(textArea.get(), textLength, leading)) {
    FUZZ_CHECK(leading.size() < textLength || textLength == 0);
  }

  const appmanTextFields fields = appmanRequestTextFields(header.code);
  std::string reason;
  if (!wire::resolveRecord(record.get(), recordLength, fields, textArea.get(), textLength, reason)) {
    FUZZ_CHECK(!reason.empty());
    return 0;
  }
  std::vector<std::string> texts;
  for (size_t i = 0; i < fields.count; ++i) {
    FUZZ_CHECK(fields.offsets[i] + sizeof(const char*) <= recordLength);
    const char* text = fieldAt(record.get(), fields.offsets[i]);
    if (text == nullptr) {
      texts.emplace_back("<null>");
      continue;
    }
    FUZZ_CHECK(text > textArea.get() && text < textArea.get() + textLength);
    const void* nul = std::memchr(text, '\0', static_cast<size_t>(textArea.get() + textLength - text));
    FUZZ_CHECK(nul != nullptr);
    texts.emplace_back(text);
  }

  wire::FlatRecord flat = wire::flattenRecord(record.get(), recordLength, fields, leading);
  FUZZ_CHECK(flat.record.size() == recordLength);
  std::unique_ptr<char[]> area(new char[flat.textArea.size()]);
  std::memcpy(area.get(), flat.textArea.data(), flat.textArea.size());
  FUZZ_CHECK(wire::resolveRecord(flat.record.data(), flat.record.size(), fields, area.get(),
                                 flat.textArea.size(), reason));
  for (size_t i = 0; i < fields.count; ++i) {
    const char* text = fieldAt(flat.record.data(), fields.offsets[i]);
    FUZZ_CHECK(texts[i] == (text == nullptr ? std::string("<null>") : std::string(text)));
  }
  return 0;
}

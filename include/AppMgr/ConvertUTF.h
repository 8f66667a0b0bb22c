// Conversion between UTF-8 and UTF-16 code units.
//
// UTF-8 units are unsigned char, UTF-16 units unsigned short. The two
// converters work from *sourceStart up to sourceEnd into *targetStart up to
// targetEnd, write no terminator and on return leave both start pointers
// just past what was converted. On sourceExhausted the source is left at the
// lead byte of the incomplete sequence; on targetExhausted and sourceIllegal
// it is left at the start of the character that did not convert. None of
// them reads before *sourceStart or at sourceEnd, or writes at targetEnd.
#ifndef APPMGR_CONVERTUTF_H_
#define APPMGR_CONVERTUTF_H_

#include "AppMgr/AppMgrExport.h"

enum ConversionFlags : int {
  strictConversion = 0,  // surrogate values that do not form a pair are illegal
  lenientConversion = 1  // they are converted as they stand
};

enum ConversionResult : int {
  conversionOK = 0,     // the whole source converted
  sourceExhausted = 1,  // the source ends inside a multi-byte sequence
  targetExhausted = 2,  // the next character does not fit the target
  sourceIllegal = 3     // the next sequence or unit is not legal
};

// Whether the length bytes at source (1 to 4; any other length is illegal)
// form one legal UTF-8 sequence. The three-byte forms of the surrogate
// values 0xD800 to 0xDFFF pass: strict conversion rejects them by value.
APPMGR_EXPORT bool isLegalUTF8(const unsigned char* source, int length);

// Five- and six-byte forms are always illegal. Values above 0xFFFF become
// surrogate pairs; in strict mode a surrogate value is illegal, in lenient
// mode it becomes one unit.
APPMGR_EXPORT ConversionResult ConvertUTF8toUTF16(const unsigned char** sourceStart,
                                                  const unsigned char* sourceEnd,
                                                  unsigned short** targetStart, unsigned short* targetEnd,
                                                  ConversionFlags flags);

// A high surrogate followed by a low one is combined. In strict mode any
// other surrogate is illegal, except a high surrogate that is the last unit
// of the source, which is encoded alone in both modes; in lenient mode every
// unpaired surrogate is encoded alone.
APPMGR_EXPORT ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart,
                                                  const unsigned short* sourceEnd,
                                                  unsigned char** targetStart, unsigned char* targetEnd,
                                                  ConversionFlags flags);

#endif  // APPMGR_CONVERTUTF_H_

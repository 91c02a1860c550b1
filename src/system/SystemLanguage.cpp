// SPDX-License-Identifier: MIT
#include "system/SystemLanguage.h"

#include <cstring>

namespace wizard::sys {

namespace {

struct IsoLanguage {
    const char* code;
    int primaryLanguage;
};

// ISO 639 codes and the LANG_* numbers of winnt.h. Languages close to French
// or Spanish (Occitan, Breton, Corsican, Alsatian, Catalan, Galician, Basque)
// have numbers of their own, as on Windows.
// clang-format off
constexpr IsoLanguage isoLanguages[] = {
    { "ar", 0x01 }, { "bg", 0x02 }, { "ca", 0x03 }, { "zh", 0x04 }, { "cs", 0x05 }, { "da", 0x06 },
    { "de", 0x07 }, { "el", 0x08 }, { "en", 0x09 }, { "es", 0x0a }, { "fi", 0x0b }, { "fr", 0x0c },
    { "he", 0x0d }, { "hu", 0x0e }, { "is", 0x0f }, { "it", 0x10 }, { "ja", 0x11 }, { "ko", 0x12 },
    { "nl", 0x13 }, { "nb", 0x14 }, { "nn", 0x14 }, { "no", 0x14 }, { "pl", 0x15 }, { "pt", 0x16 },
    { "rm", 0x17 }, { "ro", 0x18 }, { "ru", 0x19 }, { "hr", 0x1a }, { "sr", 0x1a }, { "bs", 0x1a },
    { "sk", 0x1b }, { "sq", 0x1c }, { "sv", 0x1d }, { "th", 0x1e }, { "tr", 0x1f }, { "ur", 0x20 },
    { "id", 0x21 }, { "uk", 0x22 }, { "be", 0x23 }, { "sl", 0x24 }, { "et", 0x25 }, { "lv", 0x26 },
    { "lt", 0x27 }, { "tg", 0x28 }, { "fa", 0x29 }, { "vi", 0x2a }, { "hy", 0x2b }, { "az", 0x2c },
    { "eu", 0x2d }, { "hsb", 0x2e }, { "dsb", 0x2e }, { "mk", 0x2f }, { "st", 0x30 }, { "ts", 0x31 },
    { "tn", 0x32 }, { "ve", 0x33 }, { "xh", 0x34 }, { "zu", 0x35 }, { "af", 0x36 }, { "ka", 0x37 },
    { "fo", 0x38 }, { "hi", 0x39 }, { "mt", 0x3a }, { "se", 0x3b }, { "smn", 0x3b }, { "sms", 0x3b },
    { "sma", 0x3b }, { "smj", 0x3b }, { "ga", 0x3c }, { "yi", 0x3d }, { "ms", 0x3e }, { "kk", 0x3f },
    { "ky", 0x40 }, { "sw", 0x41 }, { "tk", 0x42 }, { "uz", 0x43 }, { "tt", 0x44 }, { "bn", 0x45 },
    { "pa", 0x46 }, { "gu", 0x47 }, { "or", 0x48 }, { "ta", 0x49 }, { "te", 0x4a }, { "kn", 0x4b },
    { "ml", 0x4c }, { "as", 0x4d }, { "mr", 0x4e }, { "sa", 0x4f }, { "mn", 0x50 }, { "bo", 0x51 },
    { "cy", 0x52 }, { "km", 0x53 }, { "lo", 0x54 }, { "my", 0x55 }, { "gl", 0x56 }, { "kok", 0x57 },
    { "mni", 0x58 }, { "sd", 0x59 }, { "syr", 0x5a }, { "si", 0x5b }, { "chr", 0x5c }, { "iu", 0x5d },
    { "am", 0x5e }, { "tzm", 0x5f }, { "ks", 0x60 }, { "ne", 0x61 }, { "fy", 0x62 }, { "ps", 0x63 },
    { "fil", 0x64 }, { "tl", 0x64 }, { "dv", 0x65 }, { "ff", 0x67 }, { "ha", 0x68 }, { "yo", 0x6a },
    { "qu", 0x6b }, { "nso", 0x6c }, { "ba", 0x6d }, { "lb", 0x6e }, { "kl", 0x6f }, { "ig", 0x70 },
    { "kr", 0x71 }, { "om", 0x72 }, { "ti", 0x73 }, { "gn", 0x74 }, { "haw", 0x75 }, { "la", 0x76 },
    { "so", 0x77 }, { "ii", 0x78 }, { "pap", 0x79 }, { "arn", 0x7a }, { "moh", 0x7c }, { "br", 0x7e },
    { "ug", 0x80 }, { "mi", 0x81 }, { "oc", 0x82 }, { "co", 0x83 }, { "gsw", 0x84 }, { "sah", 0x85 },
    { "quc", 0x86 }, { "rw", 0x87 }, { "wo", 0x88 }, { "prs", 0x8c }, { "gd", 0x91 }, { "ckb", 0x92 },
};
// clang-format on

} // namespace

int primaryLanguageOfIsoCode(const char* iso639)
{
    if (!iso639)
        return 0;
    for (const IsoLanguage& language : isoLanguages) {
        if (std::strcmp(language.code, iso639) == 0)
            return language.primaryLanguage;
    }
    return 0;
}

const char* wizardLanguageCode(int primaryLanguage)
{
    switch (primaryLanguage) {
    case primaryLanguageSpanish:
        return "es";
    case primaryLanguageFrench:
        return "fr";
    default:
        return "en";
    }
}

} // namespace wizard::sys

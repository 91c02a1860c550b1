// SPDX-License-Identifier: MIT
#pragma once

namespace wizard::sys {

// Windows primary-language numbers (LANG_*) the wizard has texts for.
inline constexpr int primaryLanguageSpanish = 0x0a;
inline constexpr int primaryLanguageFrench = 0x0c;

// The system's default language as a Windows primary-language number (the low
// 10 bits of a language identifier): French 12, Spanish 10, English 9, ...
int systemPrimaryLanguage();

// The Windows primary-language number of an ISO 639 language code ("fr", "oc",
// "fil"), 0 (neutral) for a code it does not know. Sub-languages share their
// language's number: every French is 12, every Spanish 10.
int primaryLanguageOfIsoCode(const char* iso639);

// The language code of the wizard's texts for a primary language: "es" for
// Spanish, "fr" for French, "en" for every other.
const char* wizardLanguageCode(int primaryLanguage);

} // namespace wizard::sys

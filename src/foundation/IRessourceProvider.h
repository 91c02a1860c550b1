// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>

namespace wizard {

// Where the views get their texts and the locations of their help pages.
class IRessourceProvider {
public:
    // Resource kinds of GetResource.
    enum Kind : std::int32_t { HelpPage = 0, Text = 1 };

    // Prepares the provider; returns 0.
    virtual std::int32_t Initialize() = 0;
    // HelpPage: the full path of the help page for key, printer family number
    // (0: the common pages) and suffix, or "". Text: the text for key in the
    // current language. Any other kind, or any kind before Initialize: "".
    virtual QString GetResource(std::int32_t kind, QString key, std::int32_t number, QString suffix) = 0;
    virtual ~IRessourceProvider() = default;
};

// A help page path turned into the form a URL takes: every backslash becomes a slash.
inline QString toForwardSlashes(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

} // namespace wizard

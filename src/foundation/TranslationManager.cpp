// SPDX-License-Identifier: MIT
#include "foundation/TranslationManager.h"

#include "foundation/Trace.h"

#include <utility>

namespace wizard {

namespace {

// Whether QString::arg finds a place marker in text: '%', an optional 'L',
// then a digit. Without one, arg would warn and leave the text as it is.
bool hasPlaceMarker(const QString& text)
{
    for (qsizetype i = text.indexOf(QLatin1Char('%')); i >= 0; i = text.indexOf(QLatin1Char('%'), i + 1)) {
        qsizetype next = i + 1;
        if (next < text.size() && text.at(next) == QLatin1Char('L'))
            ++next;
        if (next < text.size() && text.at(next).digitValue() != -1)
            return true;
    }
    return false;
}

} // namespace

TranslationManager::TranslationManager(ILogger* logger, QString defaultLanguage, QString messagePattern)
    : initialized(0)
    , logger(logger)
    , defaultLanguage(defaultLanguage)
    , currentLanguage(std::move(defaultLanguage))
    , messagePattern(std::move(messagePattern))
{
    trace(logger, TraceLevel::info, L"[%s] Creating TranslationManager {%s}",
        L"wizard::TranslationManager::TranslationManager");
    // A missing or broken fallback file leaves fewer texts; nothing else depends on it.
    readParameterFile(messageFile(this->defaultLanguage), &fallbackTexts);
}

TranslationManager::~TranslationManager()
{
    trace(logger, TraceLevel::info, L"[%s] Destructing TranslationManager {%s}",
        L"wizard::TranslationManager::~TranslationManager");
}

std::int32_t TranslationManager::SetLanguage(QString language)
{
    currentLanguage = std::move(language);
    return initialized ? loadCurrentTexts() : 1;
}

std::int32_t TranslationManager::Initialize()
{
    trace(logger, TraceLevel::info, L"[%s] Initializing TranslationManager {%s}",
        L"wizard::TranslationManager::Initialize");
    if (initialized)
        return 0;
    const std::int32_t loaded = loadCurrentTexts();
    if (!loaded)
        return 0;
    initialized = 1;
    return loaded;
}

QString TranslationManager::Translate(const QString& key) const
{
    const QString current = currentTexts.value(key);
    return current.isEmpty() ? fallbackTexts.value(key) : current;
}

QString TranslationManager::CurrentLanguage() const
{
    return currentLanguage;
}

// The map is not emptied first: keys the new file lacks keep the texts of the
// language loaded before.
std::int32_t TranslationManager::loadCurrentTexts()
{
    const bool read = readParameterFile(messageFile(currentLanguage), &currentTexts);
    Q_EMIT LanguageChanged();
    return read ? 1 : 0;
}

QString TranslationManager::messageFile(const QString& language) const
{
    return hasPlaceMarker(messagePattern) ? messagePattern.arg(language) : messagePattern;
}

} // namespace wizard

// SPDX-License-Identifier: MIT
#pragma once

#include "foundation/ParameterFile.h"

#include <QObject>
#include <QString>

#include <cstdint>

namespace wizard {

class ILogger;

// The user-visible texts in two languages at once: the fallback language,
// loaded at creation, and the current one, loaded by Initialize. A text missing
// or empty in the current language comes from the fallback language. The
// message file of a language is the message pattern with its lowest-numbered
// place marker ("%1") replaced by the language code.
class TranslationManager : public QObject {
    Q_OBJECT
public:
    TranslationManager(ILogger* logger, QString defaultLanguage, QString messagePattern);
    ~TranslationManager() override;

    // Records the language; reloads the current texts only once initialised.
    std::int32_t SetLanguage(QString language);
    // Loads the current language's texts once; non-zero on success.
    std::int32_t Initialize();
    QString Translate(const QString& key) const;
    QString CurrentLanguage() const;

Q_SIGNALS:
    // Emitted after every load of the current texts, successful or not.
    void LanguageChanged();

private:
    std::int32_t loadCurrentTexts();
    QString messageFile(const QString& language) const;

    std::int32_t initialized;
    ILogger* logger;
    QString defaultLanguage;
    QString currentLanguage;
    QString messagePattern;
    ParameterMap fallbackTexts;
    ParameterMap currentTexts;
};

} // namespace wizard

// SPDX-License-Identifier: MIT
#pragma once

#include "foundation/IRessourceProvider.h"
#include "foundation/ParameterFile.h"

#include <QString>

#include <cstdint>

namespace wizard {

class ILogger;
class TranslationManager;

// Texts through a TranslationManager (owned, created by Initialize) and help
// pages laid out below helpRoot as <family number or "Common">/<language>/<file>,
// the file named by the help index.
class WizardRessourceProvider : public IRessourceProvider {
public:
    WizardRessourceProvider(ILogger* logger, QString defaultLanguage, QString language,
        QString messagePattern, QString helpRoot, QString helpIndexFile);
    ~WizardRessourceProvider() override;

    std::int32_t Initialize() override;
    QString GetResource(std::int32_t kind, QString key, std::int32_t number, QString suffix) override;

    WizardRessourceProvider(const WizardRessourceProvider&) = delete;
    WizardRessourceProvider& operator=(const WizardRessourceProvider&) = delete;

private:
    QString helpPage(const QString& key, std::int32_t number, const QString& suffix) const;

    std::int32_t initialized;
    ILogger* logger;
    TranslationManager* translationManager;
    QString defaultLanguage;
    QString language;
    QString messagePattern;
    QString helpIndexFile;
    QString helpRoot;
    ParameterMap helpIndex;
};

} // namespace wizard

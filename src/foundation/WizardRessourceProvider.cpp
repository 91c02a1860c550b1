// SPDX-License-Identifier: MIT
#include "foundation/WizardRessourceProvider.h"

#include "foundation/Trace.h"
#include "foundation/TranslationManager.h"
#include "system/ApplicationDirectory.h"

#include <QChar>

#include <utility>

namespace wizard {

WizardRessourceProvider::WizardRessourceProvider(ILogger* logger, QString defaultLanguage, QString language,
    QString messagePattern, QString helpRoot, QString helpIndexFile)
    : initialized(0)
    , logger(logger)
    , translationManager(nullptr)
    , defaultLanguage(std::move(defaultLanguage))
    , language(std::move(language))
    , messagePattern(std::move(messagePattern))
    , helpIndexFile(std::move(helpIndexFile))
    , helpRoot(std::move(helpRoot))
{
    trace(logger, TraceLevel::info, L"[%s] [WizardRessourceProvider] [Creating] {%s}",
        L"wizard::WizardRessourceProvider::WizardRessourceProvider");
}

WizardRessourceProvider::~WizardRessourceProvider()
{
    trace(logger, TraceLevel::info, L"[%s] [WizardRessourceProvider] [Destructing] {%s}",
        L"wizard::WizardRessourceProvider::~WizardRessourceProvider");
    delete translationManager;
}

std::int32_t WizardRessourceProvider::Initialize()
{
    if (initialized)
        return 0;
    translationManager = new TranslationManager(logger, defaultLanguage, messagePattern);
    translationManager->SetLanguage(language);
    translationManager->Initialize();
    // A missing or broken index leaves fewer help pages; nothing is reported.
    readParameterFile(helpIndexFile, &helpIndex);
    initialized = 1;
    return 0;
}

QString WizardRessourceProvider::GetResource(
    std::int32_t kind, QString key, std::int32_t number, QString suffix)
{
    if (!initialized)
        return QString();
    switch (kind) {
    case HelpPage:
        return helpPage(key, number, suffix);
    case Text:
        return translationManager->Translate(key);
    default:
        return QString();
    }
}

// The file's existence is not checked: the view shows whatever the path gives.
QString WizardRessourceProvider::helpPage(
    const QString& key, std::int32_t number, const QString& suffix) const
{
    const auto file = helpIndex.constFind(key);
    if (file == helpIndex.cend())
        return QString();
    const QChar separator { char16_t(sys::pathSeparator) };
    const QString folder = number != 0 ? QString::number(number) : QStringLiteral("Common");
    return helpRoot + separator + folder + separator + translationManager->CurrentLanguage() + separator
        + *file + suffix;
}

} // namespace wizard

// SPDX-License-Identifier: MIT
// The resource provider: help page paths, texts, the life before and after
// Initialize, and its trace.
#include "TraceCapture.h"
#include "foundation/WizardRessourceProvider.h"
#include "system/ApplicationDirectory.h"

#include <QtTest>

#include <memory>

using wizard::IRessourceProvider;
using wizard::WizardRessourceProvider;
using wizard::test::TraceCapture;

namespace {

const QChar separator { char16_t(wizard::sys::pathSeparator) };

QString dataDir()
{
    return QFINDTESTDATA("data/help/index.xml").section('/', 0, -3);
}

// Paths joined as the provider joins them, with the platform's separator.
QString joined(const QStringList& parts)
{
    return parts.join(separator);
}

std::unique_ptr<WizardRessourceProvider> provider(const QString& language, const QString& helpRoot,
    const QString& helpIndex = dataDir() + "/help/index.xml", wizard::ILogger* logger = nullptr)
{
    return std::make_unique<WizardRessourceProvider>(
        logger, "en", language, dataDir() + "/messages/messages_%1.xml", helpRoot, helpIndex);
}

} // namespace

class TestRessourceProvider : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void beforeInitializeEveryKindIsEmpty_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("number");
        QTest::newRow("help page, common") << 0 << "1" << 0;
        QTest::newRow("help page, family") << 0 << "1" << 3;
        QTest::newRow("text") << 1 << "1" << 0;
        QTest::newRow("other kind") << 2 << "1" << 0;
    }
    void beforeInitializeEveryKindIsEmpty()
    {
        QFETCH(int, kind);
        QFETCH(QString, key);
        QFETCH(int, number);
        const auto resources = provider("fr", "/app/Help");
        QCOMPARE(resources->GetResource(kind, key, number, QString()), QString());
        QCOMPARE(resources->Initialize(), 0);
        QVERIFY(!resources->GetResource(kind == 2 ? 1 : kind, key, number, QString()).isEmpty());
    }

    // --- Help pages -----------------------------------------------------------------------------

    void helpPage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("expected");
        const QString root = dataDir() + "/help";

        QTest::newRow("number 0: the common pages")
            << "fr"
            << "1" << 0 << "" << joined({ root, "Common", "fr", "page1.html" });
        QTest::newRow("family number") << "fr"
                                       << "1" << 3 << "" << joined({ root, "3", "fr", "page1.html" });
        QTest::newRow("negative family number")
            << "fr"
            << "2" << -1 << "" << joined({ root, "-1", "fr", "page2.html" });
        QTest::newRow("suffix appended")
            << "fr"
            << "5" << 12 << "#cover" << joined({ root, "12", "fr", "error_communication.html#cover" });
        QTest::newRow("English") << "en"
                                 << "2" << 0 << "" << joined({ root, "Common", "en", "page2.html" });
        // The help language is the requested one even when its texts could not be read.
        QTest::newRow("language without message file")
            << "es"
            << "1" << 0 << "" << joined({ root, "Common", "es", "page1.html" });
        QTest::newRow("key not in the index, file on disk") << "fr"
                                                            << "9" << 0 << ""
                                                            << "";
        QTest::newRow("page of a missing folder is not checked")
            << "fr"
            << "2" << 7 << "" << joined({ root, "7", "fr", "page2.html" });
    }
    void helpPage()
    {
        QFETCH(QString, language);
        QFETCH(QString, key);
        QFETCH(int, number);
        QFETCH(QString, suffix);
        QFETCH(QString, expected);
        const auto resources = provider(language, dataDir() + "/help");
        resources->Initialize();
        QCOMPARE(resources->GetResource(IRessourceProvider::HelpPage, key, number, suffix), expected);
    }

    void helpPageOfTheWindowsInstallation()
    {
        // The installed wizard's layout, joined with the platform's separator.
        const auto resources = provider("fr", QStringLiteral("C:\\App\\Help"));
        resources->Initialize();
#ifdef _WIN32
        QCOMPARE(resources->GetResource(0, "1", 0, ""), QString("C:\\App\\Help\\Common\\fr\\page1.html"));
        QCOMPARE(resources->GetResource(0, "1", 3, ""), QString("C:\\App\\Help\\3\\fr\\page1.html"));
#else
        QCOMPARE(resources->GetResource(0, "1", 0, ""), QString("C:\\App\\Help/Common/fr/page1.html"));
        QCOMPARE(resources->GetResource(0, "1", 3, ""), QString("C:\\App\\Help/3/fr/page1.html"));
#endif
    }

    void missingHelpIndexGivesNoPagesButTexts()
    {
        const auto resources = provider("fr", "/app/Help", dataDir() + "/help/no-such-index.xml");
        QCOMPARE(resources->Initialize(), 0);
        QCOMPARE(resources->GetResource(0, "1", 0, ""), QString());
        QCOMPARE(resources->GetResource(1, "1", 0, ""), QString("Suivant"));
    }

    // --- Texts and other kinds ----------------------------------------------------------------

    void resource_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text in the language") << "fr" << 1 << "30"
                                              << "Erreur";
        QTest::newRow("text falls back to English") << "fr" << 1 << "20"
                                                    << "Please wait...";
        QTest::newRow("text of no file") << "fr" << 1 << "99"
                                         << "";
        QTest::newRow("text, language without file") << "es" << 1 << "1"
                                                     << "Next";
        QTest::newRow("kind 2") << "fr" << 2 << "1"
                                << "";
        QTest::newRow("kind -1") << "fr" << -1 << "1"
                                 << "";
    }
    void resource()
    {
        QFETCH(QString, language);
        QFETCH(int, kind);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const auto resources = provider(language, "/app/Help");
        resources->Initialize();
        // Number and suffix play no part in a text.
        QCOMPARE(resources->GetResource(kind, key, 0, QString()), expected);
        QCOMPARE(resources->GetResource(kind, key, 3, "#x"), expected);
    }

    // --- Trace and lifecycle -------------------------------------------------------------------

    void traceAndSecondInitialize()
    {
        TraceCapture trace;
        {
            const auto resources = provider("fr", "/app/Help", dataDir() + "/help/index.xml", trace.logger());
            QCOMPARE(resources->Initialize(), 0);
            QCOMPARE(resources->Initialize(), 0); // changes nothing: no second manager
            resources->GetResource(1, "1", 0, "");
            resources->GetResource(0, "1", 0, "");
        }
        QCOMPARE(TraceCapture::messages(),
            QStringList({
                "[INFO   ] [WizardRessourceProvider] [Creating] "
                "{wizard::WizardRessourceProvider::WizardRessourceProvider}",
                "[INFO   ] Creating TranslationManager {wizard::TranslationManager::TranslationManager}",
                "[INFO   ] Initializing TranslationManager {wizard::TranslationManager::Initialize}",
                "[INFO   ] [WizardRessourceProvider] [Destructing] "
                "{wizard::WizardRessourceProvider::~WizardRessourceProvider}",
                "[INFO   ] Destructing TranslationManager {wizard::TranslationManager::~TranslationManager}",
            }));
    }

    void destroyedWithoutInitialize()
    {
        TraceCapture trace;
        provider("fr", "/app/Help", dataDir() + "/help/index.xml", trace.logger()).reset();
        QCOMPARE(TraceCapture::messages().size(), 2);
    }

    // --- Forward slashes ---------------------------------------------------------------------------

    void toForwardSlashes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Windows path") << "C:\\App\\Help\\3\\fr\\page1.html"
                                      << "C:/App/Help/3/fr/page1.html";
        QTest::newRow("network share") << "\\\\server\\share\\a.html"
                                       << "//server/share/a.html";
        QTest::newRow("already forward") << "/app/Help/Common/en/p.html"
                                         << "/app/Help/Common/en/p.html";
        QTest::newRow("mixed") << "C:\\App/Help\\x"
                               << "C:/App/Help/x";
        QTest::newRow("empty") << ""
                               << "";
    }
    void toForwardSlashes()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(wizard::toForwardSlashes(path), expected);
    }
};

QTEST_GUILESS_MAIN(TestRessourceProvider)
#include "tst_ressourceprovider.moc"

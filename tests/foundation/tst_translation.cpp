// SPDX-License-Identifier: MIT
// The translation manager: fallback rules, loading, its signal and its trace.
#include "TraceCapture.h"
#include "foundation/TranslationManager.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using wizard::TranslationManager;
using wizard::test::TraceCapture;

namespace {

QString messagePattern()
{
    return QFINDTESTDATA("data/messages/messages_en.xml").replace("messages_en.xml", "messages_%1.xml");
}

std::unique_ptr<TranslationManager> initialised(const QString& language, wizard::ILogger* logger = nullptr)
{
    auto manager = std::make_unique<TranslationManager>(logger, "en", messagePattern());
    manager->SetLanguage(language);
    manager->Initialize();
    return manager;
}

} // namespace

class TestTranslation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void metaObject()
    {
        TranslationManager manager(nullptr, "en", messagePattern());
        const QMetaObject* meta = manager.metaObject();
        QCOMPARE(meta->className(), "wizard::TranslationManager");
        QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
        const QMetaMethod signal = meta->method(meta->methodOffset());
        QCOMPARE(signal.methodType(), QMetaMethod::Signal);
        QCOMPARE(signal.methodSignature(), QByteArray("LanguageChanged()"));
    }

    // --- Which text a key gives ----------------------------------------------------------------

    void fallback_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        QTest::newRow("fr: in both files") << "fr"
                                           << "1"
                                           << "Suivant";
        QTest::newRow("fr: non-ASCII text") << "fr"
                                            << "7"
                                            << "Installation de l\u2019imprimante \u00e0 cartes";
        QTest::newRow("fr: only in English") << "fr"
                                             << "only en"
                                             << "English only";
        QTest::newRow("fr: empty in French") << "fr"
                                             << "20"
                                             << "Please wait...";
        QTest::newRow("fr: only in French") << "fr"
                                            << "only fr"
                                            << "Fran\u00e7ais seulement";
        QTest::newRow("fr: in neither") << "fr"
                                        << "99"
                                        << "";
        QTest::newRow("fr: line feed escape")
            << "fr"
            << "8"
            << "Do you want to stop the setup?\nThe printer is handed back.";
        QTest::newRow("en: English") << "en"
                                     << "1"
                                     << "Next";
        QTest::newRow("en: in neither") << "en"
                                        << "only fr"
                                        << "";
        QTest::newRow("es: no file, English") << "es"
                                              << "1"
                                              << "Next";
        QTest::newRow("de: read before the fault") << "de"
                                                   << "1"
                                                   << "Weiter";
        QTest::newRow("de: at the fault, English") << "de"
                                                   << "7"
                                                   << "Card Printer Setup";
        QTest::newRow("de: after the fault, English") << "de"
                                                      << "30"
                                                      << "Error";
    }
    void fallback()
    {
        QFETCH(QString, language);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const auto manager = initialised(language);
        QCOMPARE(manager->Translate(key), expected);
        QCOMPARE(manager->CurrentLanguage(), language);
    }

    void initializeResult_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("result");
        QTest::newRow("readable file") << "fr" << 1;
        QTest::newRow("same file as the fallback") << "en" << 1;
        QTest::newRow("missing file") << "es" << 0;
        QTest::newRow("malformed file") << "de" << 0;
    }
    void initializeResult()
    {
        QFETCH(QString, language);
        QFETCH(int, result);
        TranslationManager manager(nullptr, "en", messagePattern());
        QSignalSpy changed(&manager, &TranslationManager::LanguageChanged);
        QCOMPARE(manager.SetLanguage(language), 1);
        QCOMPARE(changed.count(), 0); // recorded only, before Initialize
        QCOMPARE(manager.Initialize(), result);
        QCOMPARE(changed.count(), 1); // emitted whether the read succeeded or not
        // A failed load leaves the manager uninitialised: the next call tries again.
        manager.Initialize();
        QCOMPARE(changed.count(), result ? 1 : 2);
    }

    void beforeInitializeOnlyFallbackTexts()
    {
        TranslationManager manager(nullptr, "en", messagePattern());
        QCOMPARE(manager.CurrentLanguage(), QString("en"));
        manager.SetLanguage("fr");
        QCOMPARE(manager.CurrentLanguage(), QString("fr"));
        QCOMPARE(manager.Translate("1"), QString("Next"));
        QCOMPARE(manager.Translate("only fr"), QString());
    }

    void setLanguageAfterInitializeReloadsWithoutEmptying()
    {
        const auto manager = initialised("fr");
        QSignalSpy changed(manager.get(), &TranslationManager::LanguageChanged);
        QCOMPARE(manager->SetLanguage("de"), 0); // malformed: "1" is read before the fault
        QCOMPARE(changed.count(), 1);
        QCOMPARE(manager->Translate("1"), QString("Weiter"));
        QCOMPARE(manager->Translate("30"), QString("Erreur")); // kept from French
        QCOMPARE(manager->Translate("only fr"), QString("Fran\u00e7ais seulement"));
        QCOMPARE(manager->SetLanguage("en"), 1);
        QCOMPARE(manager->Translate("30"), QString("Error"));
        QCOMPARE(manager->Translate("only fr"), QString("Fran\u00e7ais seulement"));
    }

    void messageFileFromPattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString dir = QFINDTESTDATA("data/messages/messages_en.xml").section('/', 0, -2);
        QTest::newRow("lowest-numbered marker") << dir + "/messages_%2.xml"
                                                << "1"
                                                << "Suivant";
        // Without a marker both languages read the same file: every text is that file's.
        QTest::newRow("no marker") << dir + "/messages_en.xml"
                                   << "1"
                                   << "Next";
        QTest::newRow("no marker, only that file's keys") << dir + "/messages_en.xml"
                                                          << "only fr"
                                                          << "";
        QTest::newRow("percent sign that is no marker") << dir + "/100%.xml"
                                                        << "1"
                                                        << "";
    }
    void messageFileFromPattern()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        TranslationManager manager(nullptr, "en", pattern);
        manager.SetLanguage("fr");
        manager.Initialize();
        QCOMPARE(manager.Translate(key), expected);
    }

    // --- Trace -------------------------------------------------------------------------------------

    void traceLines()
    {
        TraceCapture trace;
        {
            TranslationManager manager(trace.logger(), "en", messagePattern());
            manager.SetLanguage("fr");
            QSignalSpy changed(&manager, &TranslationManager::LanguageChanged);
            QCOMPARE(manager.Initialize(), 1);
            QCOMPARE(manager.Initialize(), 0); // logs again, reads nothing
            QCOMPARE(changed.count(), 1);
            manager.Translate("1");
        }
        QCOMPARE(TraceCapture::messages(),
            QStringList({
                "[INFO   ] Creating TranslationManager {wizard::TranslationManager::TranslationManager}",
                "[INFO   ] Initializing TranslationManager {wizard::TranslationManager::Initialize}",
                "[INFO   ] Initializing TranslationManager {wizard::TranslationManager::Initialize}",
                "[INFO   ] Destructing TranslationManager {wizard::TranslationManager::~TranslationManager}",
            }));
    }
};

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"

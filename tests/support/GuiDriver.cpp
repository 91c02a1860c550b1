// SPDX-License-Identifier: MIT
#include "GuiDriver.h"

#include "wizard/MainWizardFrameUI.h"
#include "wizard/WizardSettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <QWidget>

namespace wizard::test {

ModalAnswerer::ModalAnswerer(QString objectName, std::function<void(QWidget*)> action)
    : name(std::move(objectName))
    , action(std::move(action))
{
    timerId = startTimer(10);
}

ModalAnswerer::~ModalAnswerer()
{
    killTimer(timerId);
}

void ModalAnswerer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timerId)
        poll();
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal->objectName() != name || modal == last)
        return;
    if (count > 0 && !repeat)
        return;
    last = modal;
    ++count;
    // A failed check inside the action leaves the window open; it is closed
    // after a while so that the test goes on to report the failure.
    QPointer<QWidget> guard(modal);
    action(modal);
    QTimer::singleShot(5000, modal, [guard] {
        if (guard && guard->isVisible())
            guard->close();
    });
}

void typeKey(Qt::Key key)
{
    // The widget with the focus inside the modal window, if one is up: a key
    // typed before that window got the focus would reach the one behind it.
    QWidget* target = QApplication::focusWidget();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (!target || target->window() != modal)
            target = modal->focusWidget() ? modal->focusWidget() : modal;
    }
    if (target)
        QTest::keyClick(target, key);
}

bool clickChild(QWidget* window, const char* objectName)
{
    auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(objectName));
    if (!button || !button->isVisible() || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

OpenRecorder::OpenRecorder()
{
    if (!folder.isValid())
        return;
    QFile script(folder.filePath(QStringLiteral("xdg-open")));
    if (!script.open(QIODevice::WriteOnly))
        return;
    script.write(
        "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$0.log\"; done\nprintf '%s\\n' '--' >> "
        "\"$0.log\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    previousPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(folder.path()) + ':' + previousPath);
    ok = true;
}

OpenRecorder::~OpenRecorder()
{
    if (ok)
        qputenv("PATH", previousPath);
}

QStringList OpenRecorder::calls() const
{
    QFile log(folder.filePath(QStringLiteral("xdg-open.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList calls;
    QString current;
    for (const QByteArray& line : log.readAll().split('\n')) {
        if (line == "--") {
            calls << current;
            current.clear();
        } else if (!line.isEmpty()) {
            current += (current.isEmpty() ? QString() : QStringLiteral(" ")) + QString::fromUtf8(line);
        }
    }
    return calls;
}

bool choosePrinter(QWidget* window, const QString& queue)
{
    auto* frame = qobject_cast<MainWizardFrameUI*>(window);
    auto* combo = frame ? frame->findChild<QComboBox*>(QStringLiteral("printerCombo")) : nullptr;
    const int index = combo ? combo->findText(queue) : -1;
    if (index < 1)
        return false;
    combo->setFocus();
    while (combo->currentIndex() < index)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index)
        QTest::keyClick(combo, Qt::Key_Up);
    return frame->settings()->printerName == queue;
}

void saveScreenshot(QWidget* widget, const QString& name)
{
    const QString folder = qEnvironmentVariable("KAVNI_SCREENSHOT_DIR");
    if (folder.isEmpty() || !widget)
        return;
    QTest::qWait(400);
    widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

QList<QWidget*> leftoverTopLevels()
{
    QList<QWidget*> left;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        // Qt keeps a few hidden helpers of its own (tool tips, the web engine's).
        if (widget->objectName().startsWith(QLatin1String("qt_")) || widget->inherits("QTipLabel"))
            continue;
        left << widget;
    }
    return left;
}

} // namespace wizard::test

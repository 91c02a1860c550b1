// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>

class QWidget;

namespace wizard::test {

// Answers modal windows from a timer, as a user would: when a modal widget
// with the given object name is the active modal widget, action runs on it
// once. Everything happens on the user-interface thread, inside whatever
// event loop (a dialog's exec, a wait box) is running at that moment.
class ModalAnswerer : public QObject {
    Q_OBJECT
public:
    ModalAnswerer(QString objectName, std::function<void(QWidget*)> action);
    ~ModalAnswerer() override;
    // How many times the action ran; it runs again for each new modal widget
    // of that name when repeat is on.
    int answered() const { return count; }
    void setRepeat(bool on) { repeat = on; }

private:
    void poll();

    QString name;
    std::function<void(QWidget*)> action;
    QWidget* last = nullptr;
    int count = 0;
    bool repeat = false;
    int timerId;

protected:
    void timerEvent(QTimerEvent* event) override;
};

// A key as the user types it: to the widget that has the keyboard focus
// (the active modal widget when nothing has it).
void typeKey(Qt::Key key);
// Clicks the child button of window with this object name.
bool clickChild(QWidget* window, const char* objectName);
// Chooses queue in the printer selection page's list of window as a user
// does, with the arrow keys; true when the window took it as its printer.
bool choosePrinter(QWidget* window, const QString& queue);

// A stand-in for the desktop's opener (xdg-open) first on PATH, recording
// each call's arguments, one per line, in a log.
class OpenRecorder {
public:
    OpenRecorder();
    ~OpenRecorder();
    bool isValid() const { return ok; }
    // The arguments of every call so far.
    QStringList calls() const;

private:
    QTemporaryDir folder;
    QByteArray previousPath;
    bool ok = false;
};

// With KAVNI_SCREENSHOT_DIR set, saves what widget shows as NAME.png there
// (after a pause, since a web page is painted a little after it has loaded).
void saveScreenshot(QWidget* widget, const QString& name);

// Top-level widgets that are still alive, other than the ones given.
QList<QWidget*> leftoverTopLevels();

} // namespace wizard::test

// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

namespace wizard::test {

// A private X server (Xvfb) for the runs a test clicks from outside, as a user
// does (xdotool); the wizard's windows are found by its process id.
class XServer {
public:
    XServer();
    ~XServer();
    bool isRunning() const { return !display.isEmpty(); }
    QString display;

private:
    QProcess server;
};

// A user's desktop for the runs a test drives from outside: a private X server
// with a window manager (openbox), a session bus with the accessibility bus
// that screen readers read, and the input a user gives: clicks and keys sent
// through the X server (xdotool), so Qt's modal blocking applies to them as it
// does to a mouse and a keyboard. Controls are found as a screen reader finds
// them: by role and name over AT-SPI, with their place on the screen.
class Desktop {
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool isRunning() const { return lastError_.isEmpty(); }
    QString lastError() const { return lastError_; }
    QString display() const { return x.display; }
    // What a program needs to show its windows here and to be read by a
    // screen reader.
    void addTo(QProcessEnvironment& environment) const;

    struct Accessible {
        int depth = 0;
        QString role;
        QString name;
        QString description;
        QRect extents;
        QStringList states;
        QString value; // of a progress bar, a slider...; empty when it has none
        QString labelledBy; // the name of the control that labels this one
        bool showing() const { return states.contains(QLatin1String("showing")); }
        // One line as a screen reader's tree shows it, indented by depth.
        QString toString() const;
    };
    // Everything the program with process id pid shows a screen reader now.
    QList<Accessible> accessibleTree(qint64 pid) const;
    // Waits (at most timeoutMs) until pid shows a control of that role and
    // name (any name when null) on screen.
    std::optional<Accessible> waitFor(
        qint64 pid, const QString& role, const QString& name, int timeoutMs) const;
    // Waits until no control of that role and name is on screen.
    bool waitUntilGone(qint64 pid, const QString& role, const QString& name, int timeoutMs) const;

    // A left click in the middle of a control, and keys as xdotool names
    // them ("Escape", "alt+F4") to the window that has the focus.
    bool click(const Accessible& control) const;
    bool key(const QString& keys) const;

    // The program's visible top-level windows: X window id and frame-less
    // geometry on the screen.
    struct Window {
        QString id;
        QRect geometry;
    };
    QList<Window> windows(qint64 pid) const;

    QString xdotool(const QStringList& arguments) const;
    // The whole screen as a PNG file (ImageMagick's import); false without it.
    bool screenshot(const QString& file) const;

private:
    XServer x;
    QProcess windowManager;
    QProcess sessionBus;
    QString busAddress;
    QString lastError_;
};

} // namespace wizard::test

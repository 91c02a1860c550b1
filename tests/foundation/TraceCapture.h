// SPDX-License-Identifier: MIT
#pragma once

#include "foundation/DebugLogger.h"
#include "system/DebugOutput.h"

#include <QRegularExpression>
#include <QStringList>

// An enabled logger whose lines go to a list instead of the system's debug
// output, for as long as the capture lives.
class TraceCapture {
public:
    TraceCapture()
    {
        lines().clear();
        previous = wizard::sys::setDebugOutputSink(&capture);
        trace.Enable();
    }
    ~TraceCapture() { wizard::sys::setDebugOutputSink(previous); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    wizard::ILogger* logger() { return &trace; }

    // The messages written so far: each line without its header and its CR LF.
    // A line of another shape is kept whole, so that a comparison shows it.
    static QStringList messages()
    {
        static const QRegularExpression shape(
            QStringLiteral("^\\[TALVOR\\]\\[WZ\\] \\(ID:[0-9a-f]{3}\\) \\d{4}/\\d\\d/\\d\\d "
                           "\\d\\d:\\d\\d:\\d\\d : (.*)\\r\\n$"),
            QRegularExpression::DotMatchesEverythingOption);
        QStringList out;
        for (const QString& line : lines()) {
            const QRegularExpressionMatch match = shape.match(line);
            out << (match.hasMatch() ? match.captured(1) : line);
        }
        return out;
    }
    static void clear() { lines().clear(); }

private:
    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }
    static void capture(const wchar_t* line) { lines() << QString::fromWCharArray(line); }

    wizard::DebugLogger trace;
    wizard::sys::DebugOutputSink previous;
};

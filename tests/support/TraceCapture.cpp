// SPDX-License-Identifier: MIT
#include "TraceCapture.h"

#include "foundation/DebugLogger.h"

#include <QRegularExpression>

#include <mutex>

namespace wizard::test {

namespace {

std::mutex capturedMutex;
QStringList captured;

void capture(const wchar_t* line)
{
    const QString text = QString::fromWCharArray(line);
    const std::lock_guard<std::mutex> lock(capturedMutex);
    captured << text;
}

} // namespace

TraceCapture::TraceCapture()
{
    clear();
    previous = sys::setDebugOutputSink(&capture);
}

TraceCapture::~TraceCapture()
{
    sys::setDebugOutputSink(previous);
}

ILogger* TraceCapture::logger()
{
    if (!own) {
        own = std::make_unique<DebugLogger>();
        own->Enable();
    }
    return own.get();
}

QStringList TraceCapture::lines()
{
    const std::lock_guard<std::mutex> lock(capturedMutex);
    return captured;
}

QStringList TraceCapture::messages()
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

void TraceCapture::clear()
{
    const std::lock_guard<std::mutex> lock(capturedMutex);
    captured.clear();
}

} // namespace wizard::test

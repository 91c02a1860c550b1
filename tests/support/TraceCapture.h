// SPDX-License-Identifier: MIT
#pragma once

#include "foundation/ILogger.h"
#include "system/DebugOutput.h"

#include <QStringList>

#include <memory>

namespace wizard {
class DebugLogger;
}

namespace wizard::test {

// While it lives, every finished trace line goes to one list instead of the
// system's debug output. Lines may come from any thread: a page's action logs
// from a pool thread while the user-interface thread logs too.
//
//     TraceCapture trace;
//     TranslationManager manager(trace.logger(), ...);   // or any logger of the test's own
//     QCOMPARE(TraceCapture::messages(), expected);
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // An enabled logger of the capture's own, made on the first call, so that
    // a capture takes no logger id before the test's own loggers.
    ILogger* logger();

    // Every line written so far, as the logger finished it (header and CR LF included).
    static QStringList lines();
    // The same lines without their header and CR LF. A line of another shape
    // is kept whole, so that a comparison shows it.
    static QStringList messages();
    static void clear();

private:
    std::unique_ptr<DebugLogger> own;
    sys::DebugOutputSink previous;
};

} // namespace wizard::test

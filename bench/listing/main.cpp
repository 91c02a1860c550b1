// SPDX-License-Identifier: MIT
// Lists 500 card-printer queues of a private CUPS server with listWizardPrinters and,
// side by side in each round on the same server, sends one bare CUPS-Get-Printers
// request with the same attributes (no time limit, the library's defaults) and runs
// `lpstat -v`; prints the three medians and the listing's ratio to the bare request.
// Usage: bench_listing [queues=500] [rounds=30]
#include "system/PrinterEnumeration.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QTextStream>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString script = QStringLiteral(KAVNI_SOURCE_DIR "/scripts/private-cups");

QString run(const QString& program, const QStringList& arguments, bool* ok)
{
    QProcess process;
    process.start(program, arguments);
    *ok = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!*ok)
        std::fprintf(
            stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The listing's request as a plain libcups client sends it: a fresh connection, the
// same attributes and filter, no time limit.
bool bareRequest()
{
    static const char* const attributes[] = { "printer-name", "device-uri", "printer-make-and-model",
        "printer-state", "printer-state-message" };
    http_t* http
        = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
    if (!http)
        return false;
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
        static_cast<int>(sizeof attributes / sizeof *attributes), nullptr, attributes);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type", 0);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type-mask",
        CUPS_PRINTER_CLASS | CUPS_PRINTER_REMOTE);
    ipp_t* response = cupsDoRequest(http, request, "/");
    const bool ok = response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
    ippDelete(response);
    httpClose(http);
    return ok;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int queues = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;

    bool ok = false;
    const QString server = run(script, { QStringLiteral("start") }, &ok).trimmed();
    if (!ok)
        return 1;
    int status = 0;
    {
        QTemporaryFile description;
        description.open();
        QTextStream out(&description);
        const char* uris[] = { "socket://127.0.0.1:%1", "usb://Talvor/Card?serial=%1", "talusb://card/%1" };
        const char* drivers[] = { "Talvor Card A", "Talvor Card B", "Other Printer" };
        for (int i = 0; i < queues; ++i)
            out << "card" << i << '|' << QString::fromLatin1(uris[i % 3]).arg(9000 + i) << '|'
                << drivers[i % 3] << '\n';
        out.flush();
        QElapsedTimer setup;
        setup.start();
        run(script, { QStringLiteral("load"), server, description.fileName() }, &ok);
        std::printf("added %d queues in %.1f s\n", queues, setup.elapsed() / 1000.0);
    }
    qputenv("CUPS_SERVER", server.toLocal8Bit());
    cupsSetServer(server.toLocal8Bit().constData());

    const wizard::sys::DriverTable table { { L"Talvor Card A", 1 }, { L"Talvor Card B", 2 } };
    std::vector<double> ours;
    std::vector<double> bare;
    std::vector<double> lpstat;
    std::size_t listed = 0;
    for (int round = 0; round < rounds && ok; ++round) {
        QElapsedTimer timer;
        timer.start();
        wizard::sys::PrinterList list;
        if (!wizard::sys::listWizardPrinters(list, true, true, table)) {
            std::fprintf(stderr, "listing failed\n");
            status = 1;
            break;
        }
        ours.push_back(timer.nsecsElapsed() / 1e6);
        listed = list.size();

        timer.restart();
        if (!bareRequest()) {
            std::fprintf(stderr, "bare request failed\n");
            status = 1;
            break;
        }
        bare.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        const QString devices = run(QStringLiteral("lpstat"), { QStringLiteral("-v") }, &ok);
        lpstat.push_back(timer.nsecsElapsed() / 1e6);
        if (ok && devices.count(QLatin1Char('\n')) != queues) {
            std::fprintf(stderr, "lpstat -v listed %lld lines\n",
                static_cast<long long>(devices.count(QLatin1Char('\n'))));
            status = 1;
        }
    }
    if (!ok)
        status = 1;
    if (status == 0) {
        const double a = median(ours);
        const double r = median(bare);
        const double b = median(lpstat);
        std::printf("queues on the server:          %d (%zu of them the wizard's)\n", queues, listed);
        std::printf("listWizardPrinters, median:    %.2f ms (min %.2f, %d rounds)\n", a,
            *std::min_element(ours.begin(), ours.end()), rounds);
        std::printf("one bare request, median:      %.2f ms (min %.2f)\n", r,
            *std::min_element(bare.begin(), bare.end()));
        std::printf("lpstat -v (whole run), median: %.2f ms (min %.2f)\n", b,
            *std::min_element(lpstat.begin(), lpstat.end()));
        std::printf("ratio listWizardPrinters / bare request: %.2f (goal: at most 1.5)\n", a / r);
        std::printf("ratio listWizardPrinters / lpstat -v:    %.2f\n", a / b);
    }
    run(script, { QStringLiteral("stop"), server }, &ok);
    return status;
}

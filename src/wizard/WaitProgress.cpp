// SPDX-License-Identifier: MIT
#include "wizard/WaitProgress.h"

#include "foundation/WizardRessourceProvider.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QVBoxLayout>

namespace wizard {

namespace {

constexpr int tickMs = 100;

} // namespace

WaitProgress::WaitProgress(WizardRessourceProvider* resourceProvider, QWidget* parent)
    : QWidget(parent)
    , resourceProvider(resourceProvider)
    , stepLabel(new QLabel(this))
    , bar(new QProgressBar(this))
{
    setObjectName(QStringLiteral("waitProgress"));
    stepLabel->setObjectName(QStringLiteral("waitStepLabel"));
    bar->setObjectName(QStringLiteral("waitProgressBar"));
    // A step without a text keeps its line, so the box never changes its size.
    stepLabel->setMinimumHeight(stepLabel->fontMetrics().height());
    stepLabel->setWordWrap(true);
    bar->setTextVisible(false);
    bar->setRange(0, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stepLabel);
    layout->addWidget(bar);
    clock.setInterval(tickMs);
    connect(&clock, &QTimer::timeout, this, &WaitProgress::tick, Qt::AutoConnection);
}

QMessageBox* WaitProgress::makeWaitBox(WizardRessourceProvider* resourceProvider)
{
    const auto text = [resourceProvider](const char* id) {
        return resourceProvider
            ? resourceProvider->GetResource(IRessourceProvider::Text, QString::fromLatin1(id), 0, QString())
            : QString();
    };
    auto* box = new QMessageBox();
    box->setObjectName(QStringLiteral("waitBox"));
    box->setWindowTitle(text("7"));
    box->setText(text("20"));
    box->setStandardButtons(QMessageBox::NoButton);
    // Under the text, what the action does now: the box must never look frozen
    // to someone who could switch the printer off.
    auto* progress = new WaitProgress(resourceProvider, box);
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addWidget(progress, grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

void WaitProgress::showStep(const QString& stepNameId, int milliseconds)
{
    stepText = resourceProvider
        ? resourceProvider->GetResource(IRessourceProvider::Text, stepNameId, 0, QString())
        : QString();
    waitMs = milliseconds;
    elapsed.start();
    if (waitMs > 0) {
        bar->setRange(0, waitMs);
        clock.start();
    } else {
        clock.stop();
        bar->setRange(0, 0);
    }
    tick();
}

QString WaitProgress::stepLine(QString stepText, qint64 msLeft)
{
    return stepText.contains(QLatin1String("%1")) ? stepText.arg((msLeft + 999) / 1000) : stepText;
}

void WaitProgress::tick()
{
    QString text = stepText;
    if (waitMs > 0) {
        const qint64 done = qMin<qint64>(elapsed.elapsed(), waitMs);
        bar->setValue(static_cast<int>(done));
        text = stepLine(text, waitMs - done);
        // Once its time is up the wait goes on as a busy step until the next one.
        if (done >= waitMs) {
            clock.stop();
            bar->setRange(0, 0);
        }
    }
    stepLabel->setText(text);
    bar->setAccessibleName(text);
}

} // namespace wizard

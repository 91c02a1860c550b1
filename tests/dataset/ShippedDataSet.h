// SPDX-License-Identifier: MIT
#pragma once

#include "foundation/ParameterFile.h"
#include "foundation/WizardRessourceProvider.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

namespace wizard::test::shipped {

// What the wizard asks of its data set, and where the shipped one lies: the
// data file and the tree beside the built executable, as it is installed.

// The folder of the built wizard, ending in a slash.
QString applicationDir();
// The language codes the wizard can pick.
QStringList languages();
// Every message id the window, the pages and the event dialog ask for.
QStringList textIds();
// The ids of the texts shown on buttons.
QStringList buttonTextIds();
// The help keys: the four page views and the five events.
QStringList helpKeys();

struct Picture {
    int number;
    QSize size; // the widget it is made for
};
QList<Picture> pictures();

// One line of data/drivers.txt.
struct Driver {
    int family;
    QString type;
    QString name;
};
QList<Driver> drivers();

// Reads wzkavni.dat from dir (the data file the entry point reads).
bool readDataFile(const QString& dir, ParameterMap* parameters);
// A resource provider built as the window builds it, for one language.
std::unique_ptr<WizardRessourceProvider> provider(
    const QString& dir, const ParameterMap& parameters, const QString& language);
// The texts of one language's message file alone, without the English fallback.
ParameterMap messageFile(const QString& dir, const ParameterMap& parameters, const QString& language);

} // namespace wizard::test::shipped

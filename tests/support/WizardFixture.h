// SPDX-License-Identifier: MIT
#pragma once

#include "WizardDataSet.h"

#include "foundation/ParameterFile.h"
#include "wizard/MainWizardFrameUI.h"

#include <QStringList>

#include <memory>

class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace wizard {
class ILogger;
}

namespace wizard::test {

// The real main window over a generated data set. A test changes the data
// set first (fixture.data.setParameter(...)), then opens the window.
class WizardFixture {
public:
    WizardDataSet data;
    ParameterMap parameters;
    std::unique_ptr<MainWizardFrameUI> window;

    // Writes the data set, reads the data file as the entry point does, builds
    // the window with these arguments (the program path first) and shows it.
    // False when initWizard refuses or the window does not appear.
    bool open(const QStringList& arguments = { QStringLiteral("kavni-wizard") },
        const PageFactory& factory = {}, ILogger* logger = nullptr);
    void close();

    QPushButton* button(const char* objectName) const;
    QStackedWidget* pageStack() const;
    QTreeWidget* stepsTree() const;
    int currentIndex() const;
    // The texts of the steps tree's items.
    QStringList stepTexts() const;
    // The index of the step the tree marks as current (selected and bold), -1 when none or more than one.
    int markedStep() const;
};

} // namespace wizard::test

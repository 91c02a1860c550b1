// SPDX-License-Identifier: MIT
#include "WizardFixture.h"

#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>

namespace wizard::test {

bool WizardFixture::open(const QStringList& arguments, const PageFactory& factory, ILogger* logger)
{
    if (!data.write())
        return false;
    parameters.clear();
    if (!readParameterFile(data.path(QStringLiteral("wzkavni.dat")), &parameters))
        return false;
    window = std::make_unique<MainWizardFrameUI>(logger, arguments, data.applicationDir(), &parameters);
    if (factory)
        window->setPageFactory(factory);
    if (!window->initWizard())
        return false;
    window->show();
    return QTest::qWaitForWindowExposed(window.get());
}

void WizardFixture::close()
{
    window.reset();
}

QPushButton* WizardFixture::button(const char* objectName) const
{
    return window->findChild<QPushButton*>(QString::fromLatin1(objectName), Qt::FindDirectChildrenOnly);
}

QStackedWidget* WizardFixture::pageStack() const
{
    return window->findChild<QStackedWidget*>(QStringLiteral("pageStack"));
}

QTreeWidget* WizardFixture::stepsTree() const
{
    return window->findChild<QTreeWidget*>(QStringLiteral("stepsTree"));
}

int WizardFixture::currentIndex() const
{
    return pageStack()->currentIndex();
}

QStringList WizardFixture::stepTexts() const
{
    QStringList texts;
    QTreeWidget* tree = stepsTree();
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(0);
    return texts;
}

int WizardFixture::markedStep() const
{
    QTreeWidget* tree = stepsTree();
    int marked = -1;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        const bool bold = item->font(0).weight() >= QFont::DemiBold;
        if (item->isSelected() != bold)
            return -1;
        if (item->isSelected()) {
            if (marked != -1)
                return -1;
            marked = i;
        }
    }
    return marked;
}

} // namespace wizard::test

// SPDX-License-Identifier: MIT
#pragma once

#include <QMap>
#include <QString>
#include <QTemporaryDir>

namespace wizard::test {

// A complete data set for the wizard, made in a temporary folder: the data
// file, English message files, the help index with its pages, the picture
// table with generated pictures and the driver-type table. A test changes
// what its row needs (a key of the data file, a text, a missing file) and
// writes it; the folder is the wizard's application directory.
//
//     WizardDataSet data;
//     data.setParameter("NoSelectPrn", "1");
//     QVERIFY(data.write());
//     MainWizardFrameUI window(logger, args, data.applicationDir(), &map);
class WizardDataSet {
public:
    WizardDataSet();

    bool isValid() const { return folder.isValid(); }
    // The folder, ending in a slash.
    QString applicationDir() const;
    QString path(const QString& relative) const;

    // Keys of the data file; an empty value is written as it is, remove() drops the key.
    void setParameter(const QString& key, const QString& value) { parameters[key] = value; }
    void removeParameter(const QString& key) { parameters.remove(key); }
    QString parameter(const QString& key) const { return parameters.value(key); }
    // Message texts of the English file.
    void setText(const QString& id, const QString& text) { texts[id] = text; }
    QString text(const QString& id) const { return texts.value(id); }
    // Drivers of the data file's table: "Driver_Name_n" -> "Driver_Type_n".
    void setDrivers(const QMap<QString, int>& drivers);

    // Writes everything (again); false when a file cannot be written.
    bool write();
    // Writes the data file only.
    bool writeDataFile();

    // The executable linked (or copied) into the folder, so that it finds this
    // data file beside itself; with the management tool stand-in in x32/ and x64/.
    QString installExecutable(const QString& builtExecutable);

    // The help page file the data set gives for key ("1" -> help/Common/en/page1.html).
    static QString helpFileName(const QString& key);

private:
    bool writeFile(const QString& relative, const QByteArray& content);
    bool writeTable(const QString& relative, const char* root, const QMap<QString, QString>& entries);
    bool writePictures();
    bool writeHelpPages();

    QTemporaryDir folder;
    QMap<QString, QString> parameters;
    QMap<QString, QString> texts;
};

} // namespace wizard::test

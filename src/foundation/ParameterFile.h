// SPDX-License-Identifier: MIT
#pragma once

#include <QMap>
#include <QString>

namespace wizard {

// A parameter map: key to text value, read from the data file or one of the
// table files it names. A missing key reads as the empty string.
using ParameterMap = QMap<QString, QString>;

// Limits that keep a hostile file from costing unbounded time or memory; the
// wizard's own files are a few kilobytes and three elements deep.
struct ParameterFileLimits {
    // Bytes a file may hold; a larger file fails before it is parsed.
    static constexpr qint64 maxFileSize = 16 * 1024 * 1024;
    // Open elements at any one time.
    static constexpr int maxDepth = 256;
    // Characters one entity reference may expand into (the XML reader's own limit).
    static constexpr int entityExpansionLimit = 4096;
    // Characters all entity references of a document that declares entities may
    // expand into at worst; a document whose worst case is larger fails at its DTD.
    static constexpr qint64 maxEntityText = 16 * 1024 * 1024;
};

// Adds the entries of the XML file at path to map: every element "Data" at any
// depth whose first child element is "Value"; the key is its attribute "name"
// (empty when absent), the value the text of "Value" with each backslash-n pair
// turned into a line feed. A later entry replaces an earlier one with the same key.
// Returns false when the file cannot be read, is not well-formed, holds an element
// inside a "Value", or passes a limit above; entries read before the fault stay.
// The map is not cleared first.
bool readParameterFile(QString path, ParameterMap* map);

// Reads the file at path into a fresh map and returns the value for the printer
// family number written in decimal, else the value for fallbackKey, else "".
QString lookupByPrinterType(int printerType, QString path, QString fallbackKey);

// A parameter value read as a base-10 number; text that is not one reads as 0.
int parameterNumber(const QString& text);

// The data file's driver table: "NbDriver" entries of "Driver_Name_N" (the
// spooler's driver name) and "Driver_Type_N" (the printer family number).
QMap<QString, qint32> driverTableOf(const ParameterMap& parameters);

} // namespace wizard

// SPDX-License-Identifier: MIT
#include "foundation/ParameterFile.h"

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <QSysInfo>
#include <QXmlStreamReader>

#include <algorithm>
#include <utility>

namespace wizard {

namespace {

using Limits = ParameterFileLimits;

// The file is taken byte for byte, not through QIODevice::Text: that mode drops
// every 0x0D byte, which corrupts UTF-16 text (U+010D is 0D 01), while the XML
// reader turns CR LF and a lone CR into LF itself, in every encoding.
bool readBytes(const QString& path, QByteArray* bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > Limits::maxFileSize)
        return false;
    bytes->reserve(file.size());
    // Devices that report no size (pipes, /dev/zero) are cut one piece past the limit.
    char piece[16384];
    for (;;) {
        const qint64 got = file.read(piece, sizeof piece);
        if (got <= 0)
            return got == 0;
        bytes->append(piece, got);
        if (bytes->size() > Limits::maxFileSize)
            return false;
    }
}

// Whether every '&' of a document in the declared encoding holds the byte 0x26:
// so for no declaration (UTF-8, or UTF-16/32 by its first bytes), for UTF-8,
// UTF-16, UTF-32 and the ASCII-compatible encodings; not for EBCDIC, UTF-7 or
// the compressing encodings, which the reader also knows.
bool ampersandIsByte26(QStringView declaredEncoding)
{
    QString name;
    for (QChar c : declaredEncoding) {
        if (c != u'-' && c != u'_' && c != u' ')
            name += c.toUpper();
    }
    static const QStringList exact { "", "UTF8", "UTF16", "UTF16LE", "UTF16BE", "UTF32", "UTF32LE", "UTF32BE",
        "USASCII", "ASCII", "SHIFTJIS", "SJIS", "EUCJP", "EUCKR", "GB2312", "GBK", "GB18030", "BIG5" };
    static const QStringList prefixes { "ISO8859", "LATIN", "WINDOWS125", "CP125", "KOI8" };
    return exact.contains(name) || std::any_of(prefixes.cbegin(), prefixes.cend(), [&](const QString& p) {
        return name.startsWith(p);
    });
}

// Each reference to a declared entity may expand to the reader's limit. Every
// reference starts with '&' and takes at least three bytes ("&a;"), which
// bounds how many a document holds.
bool entityExpansionBounded(const QByteArray& bytes, QStringView declaredEncoding)
{
    const qint64 references = ampersandIsByte26(declaredEncoding) ? bytes.count('&') : bytes.size() / 3;
    return references * Limits::entityExpansionLimit <= Limits::maxEntityText;
}

// Code unit of width bytes (2 or 4) at offset, in the given byte order.
char32_t codeUnit(const QByteArray& bytes, qsizetype offset, int width, bool littleEndian)
{
    char32_t unit = 0;
    for (int b = 0; b < width; ++b)
        unit |= char32_t(static_cast<unsigned char>(bytes[offset + b]))
            << (8 * (littleEndian ? b : width - 1 - b));
    return unit;
}

// The XML reader decodes UTF-16 and UTF-32 without checking them: an unpaired
// surrogate, a code point past U+10FFFF or a cut-off code unit would come
// through as text. Such a document is refused as a whole.
bool wideEncodingValid(const QByteArray& bytes)
{
    const bool host = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    int width = 0;
    bool little = host;
    switch (QStringDecoder::encodingForData(bytes, u'<').value_or(QStringConverter::Utf8)) {
    case QStringConverter::Utf16:
        width = 2;
        break;
    case QStringConverter::Utf16LE:
        width = 2;
        little = true;
        break;
    case QStringConverter::Utf16BE:
        width = 2;
        little = false;
        break;
    case QStringConverter::Utf32:
        width = 4;
        break;
    case QStringConverter::Utf32LE:
        width = 4;
        little = true;
        break;
    case QStringConverter::Utf32BE:
        width = 4;
        little = false;
        break;
    default:
        return true;
    }
    if (bytes.size() % width)
        return false;
    bool expectLow = false;
    for (qsizetype i = 0; i < bytes.size(); i += width) {
        const char32_t unit = codeUnit(bytes, i, width, little);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (unit > 0x10FFFF || low != expectLow || (width == 4 && (high || low)))
            return false;
        expectLow = high;
    }
    return !expectLow;
}

bool enterElement(QXmlStreamReader& xml, int* depth)
{
    if (++*depth <= Limits::maxDepth)
        return true;
    xml.raiseError(QStringLiteral("Elements nested too deeply."));
    return false;
}

// At the start of a "Data" element: stores its entry when its first child
// element is "Value". Leaves the reader on the last token it consumed.
void readEntry(QXmlStreamReader& xml, ParameterMap* map, int* depth)
{
    const QString key = xml.attributes().value(QLatin1String("name")).toString();
    if (!xml.readNextStartElement()) {
        --*depth; // at the end of "Data" (or at an error, which ends the reading)
        return;
    }
    if (!enterElement(xml, depth) || xml.qualifiedName() != QLatin1String("Value"))
        return;
    QString value = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    --*depth;
    if (xml.hasError())
        return;
    value.replace(QLatin1String("\\n"), QLatin1String("\n"));
    map->insert(key, value);
}

} // namespace

bool readParameterFile(QString path, ParameterMap* map)
{
    QByteArray bytes;
    if (!map || !readBytes(path, &bytes) || !wideEncodingValid(bytes))
        return false;

    QXmlStreamReader xml(bytes);
    xml.setNamespaceProcessing(false);
    xml.setEntityExpansionLimit(Limits::entityExpansionLimit);
    int depth = 0;
    QString declaredEncoding;
    while (!xml.atEnd()) {
        switch (xml.tokenType()) {
        case QXmlStreamReader::StartDocument:
            declaredEncoding = xml.documentEncoding().toString();
            break;
        case QXmlStreamReader::DTD:
            if (!xml.entityDeclarations().isEmpty() && !entityExpansionBounded(bytes, declaredEncoding))
                xml.raiseError(QStringLiteral("Entities could expand too far."));
            break;
        case QXmlStreamReader::StartElement:
            if (enterElement(xml, &depth) && xml.qualifiedName() == QLatin1String("Data"))
                readEntry(xml, map, &depth);
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
        xml.readNext();
    }
    return !xml.hasError();
}

QString lookupByPrinterType(int printerType, QString path, QString fallbackKey)
{
    ParameterMap table;
    readParameterFile(std::move(path), &table);
    const auto found = table.constFind(QString::number(printerType));
    return found != table.cend() ? *found : table.value(fallbackKey);
}

int parameterNumber(const QString& text)
{
    return text.toInt(nullptr, 10);
}

QMap<QString, qint32> driverTableOf(const ParameterMap& parameters)
{
    QMap<QString, qint32> table;
    const int count = parameterNumber(parameters.value(QStringLiteral("NbDriver")));
    for (int n = 1; n <= count; ++n)
        table.insert(parameters.value(QStringLiteral("Driver_Name_%1").arg(n)),
            parameterNumber(parameters.value(QStringLiteral("Driver_Type_%1").arg(n))));
    return table;
}

} // namespace wizard
